// OrnIPParser expands an IPv4 range expression such as "192.168.1-2.*" or
// "10.0.0.1,5,9", or a base address with a net mask such as "192.168.1.77" with
// "255.255.255.192", into one ascending list of values per octet, and hands the
// lists out into callers' arrays.
//
// The whole expansion happens in the constructor; bad input makes the parser
// invalid instead of raising anything. Construction and assignment are used by
// one thread at a time; a finished parser may be read by several threads at once.
#ifndef LIBORN2_IPPARSER_H
#define LIBORN2_IPPARSER_H

#include <liborn2/export.h>

#include <set>
#include <string>
#include <vector>

namespace orn2 {
struct OrnIPParserInspector;
}

class ORN2_API OrnIPParser {
 public:
  // An empty netMask means range mode; any other netMask means mask mode.
  OrnIPParser(const std::string& ipRange, const std::string& netMask);
  OrnIPParser(const OrnIPParser& other);
  OrnIPParser& operator=(const OrnIPParser& other);
  virtual ~OrnIPParser();

  bool IsValid() const;

  // Each hand-out takes the array and, in count, its capacity; on return count is
  // the number of values written. An invalid parser, a null array or a count of 0
  // give a count of 0 and leave the array untouched. The first and fourth octet
  // hand out only their values from 1 to 254.
  void GetClassARange(short* values, unsigned int& count) const;
  void GetClassBRange(short* values, unsigned int& count) const;
  void GetClassCRange(short* values, unsigned int& count) const;
  void GetClassDRange(short* values, unsigned int& count) const;

 private:
  // Read-only access for the library's own tests and fuzz target.
  friend struct orn2::OrnIPParserInspector;

  bool Validate(const std::string& ipRange);
  void Tokenize(const std::string& text, char separator, std::vector<std::string>& tokens) const;
  bool ParseRange(const std::string& element, std::set<short>& values) const;
  bool ValidateNetMask(const std::string& netMask);
  void CalculateSubnetRange(std::string& addressPart, std::string& maskPart,
                            std::vector<short>& values);
  void PopulateIPRange(std::vector<short>& values, short low, short high);
  void CopyIP(const std::vector<short>& source, short* values, unsigned int& count) const;

  void ExpandRanges();
  void ExpandWithMask();
  void CopyEdgeOctet(const std::vector<short>& source, short* values, unsigned int& count) const;

  std::string m_ipRange;
  std::string m_netMask;
  std::vector<std::vector<short>> m_octetRanges;
  bool m_valid;
};

#endif  // LIBORN2_IPPARSER_H
