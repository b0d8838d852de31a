// OrnIPParser: IPv4 range expressions, with or without a net mask, expanded
// into one list of values per octet.
#ifndef LIBORN2_IPPARSER_H
#define LIBORN2_IPPARSER_H

#include <liborn2/export.h>

#include <string>
#include <vector>

namespace orn2::net {
struct OrnIPParserProbe;
}

/// Expands an IPv4 range expression such as `192.168.1-2.*` or `10.0.0.1,5,9`,
/// or a base address with a net mask such as `192.168.1.77` with
/// `255.255.255.192`, into one ascending list of values per octet, and hands
/// the lists out into callers' arrays.
///
/// The whole expansion happens in the constructor; bad input makes the parser
/// invalid instead of raising or printing anything. Each hand-out takes an
/// array and, in count, its capacity; on return count is the number of values
/// written, in ascending order (a count above the list's length comes back as
/// the length; 256 always takes a whole list). An invalid parser, a null array
/// or a count of 0 give a count of 0 and leave the array untouched; a valid
/// parser can hand out 0 values too (an empty list).
///
/// Thread contract: construction and assignment are used by one thread at a
/// time; a finished parser may be read by several threads at once.
class ORN2_API OrnIPParser {
 public:
  /// An empty netMask means range mode; any other netMask means mask mode.
  /// Range mode: up to four dot-separated parts (missing ones count as `*`),
  /// each a comma list of values, inclusive ranges `a-b` (either order, cut to
  /// 0-255) and `*` (0-255); only the characters `0123456789.*-,` are allowed
  /// (no blanks). Empty parts and range ends read as 0; values above 255 and
  /// elements with two hyphens add nothing but are no error; `*5` or `5-*`
  /// make the parser invalid. Mask mode: the mask needs exactly three dots and
  /// parts of digits up to 255. Octets keep the address part's leading number,
  /// unchecked, while the mask part is 255; the first other part gives the
  /// block from network to broadcast (parts 1-127: none), later octets 0-255.
  OrnIPParser(const std::string& ipRange, const std::string& netMask);
  /// Copies validity, expression, mask and lists.
  OrnIPParser(const OrnIPParser& other);
  /// Copies validity, expression, mask and lists.
  OrnIPParser& operator=(const OrnIPParser& other);
  /// Frees the lists; nothing else to release.
  virtual ~OrnIPParser();

  /// True when the expression (and the mask, if any) was accepted.
  bool IsValid() const;

  /// Hands out the first octet's values from 1 to 254 only, filtered before
  /// the count applies (a count of 10 on 0-255 receives 1 to 10).
  void GetClassARange(short* values, unsigned int& count) const;
  /// Hands out all values of the second octet, 0 and 255 included.
  void GetClassBRange(short* values, unsigned int& count) const;
  /// Hands out all values of the third octet, 0 and 255 included.
  void GetClassCRange(short* values, unsigned int& count) const;
  /// Hands out the fourth octet's values from 1 to 254 only, as GetClassARange.
  void GetClassDRange(short* values, unsigned int& count) const;

 private:
  // Read-only access for the library's own tests and fuzz target.
  friend struct orn2::net::OrnIPParserProbe;
  // The ordered set of distinct values one octet gathers in range mode
  // (std::set<short>), defined where it is used so that this header needs no <set>.
  struct OctetSet;

  bool Validate(const std::string& ipRange);
  void Tokenize(const std::string& text, char separator, std::vector<std::string>& tokens) const;
  bool ParseRange(const std::string& element, OctetSet& values) const;
  bool ValidateNetMask(const std::string& netMask);
  void CalculateSubnetRange(std::string& addressPart, std::string& maskPart,
                            std::vector<short>& values);
  void PopulateIPRange(std::vector<short>& values, short low, short high);
  void CopyIP(const std::vector<short>& source, short* values, unsigned int& count) const;

  void ExpandRanges();
  void ExpandWithMask();
  void CopyEdgeOctet(const std::vector<short>& source, short* values, unsigned int& count) const;

  std::string ipRange_;
  std::string netMask_;
  std::vector<std::vector<short>> octetRanges_;
  bool valid_;
};

#endif  // LIBORN2_IPPARSER_H
