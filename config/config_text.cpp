#include "config/config_text.h"

namespace orn2::config {

void CopyBytes(char* target, const char* source, size_t n) { std::memcpy(target, source, n); }

}  // namespace orn2::config
