// Read-only view of an OrnIPParser's fields for the library's own tests and
// fuzz target; the public interface only hands out filtered copies.
#ifndef ORN2_NET_IPPARSER_PROBE_H
#define ORN2_NET_IPPARSER_PROBE_H

#include <liborn2/ipparser.h>

#include <string>
#include <vector>

namespace orn2::net {

struct OrnIPParserProbe {
  static const std::string& IpRange(const OrnIPParser& parser) { return parser.ipRange_; }
  static const std::string& NetMask(const OrnIPParser& parser) { return parser.netMask_; }
  static const std::vector<std::vector<short>>& Octets(const OrnIPParser& parser) {
    return parser.octetRanges_;
  }
};

}  // namespace orn2::net

#endif  // ORN2_NET_IPPARSER_PROBE_H
