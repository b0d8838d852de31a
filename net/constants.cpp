#include "net/constants.h"

namespace orn2 {

// Dynamic initialisation of these three objects is the whole of the library's
// load work; their destructors run at unload.
const std::string kDefaultProtocol = "http";
const std::string kIpRangeCharacters = "0123456789.*-,";
const std::string kDecimalDigits = "0123456789";

}  // namespace orn2
