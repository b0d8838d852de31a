// The text of a hex dump, as Log::Dump writes it.
#ifndef ORN2_LOG_DUMP_TEXT_H
#define ORN2_LOG_DUMP_TEXT_H

#include <cstddef>

namespace orn2::log {

// Builds the title line, an empty line, a ruler, one hex line per 16 bytes and
// the closing ruler into `out` (zero-filled, `size` bytes, always terminated).
// Hex lines stop where the line and the closing ruler would no longer fit; a
// title that leaves no room for the rulers and one hex line is cut. Returns the
// text's length, and the length of the title as written in `*titleLength`
// when that is not null.
size_t BuildDumpText(const unsigned char* data, int length, const char* title, char* out,
                     size_t size, size_t* titleLength = nullptr);

}  // namespace orn2::log

#endif  // ORN2_LOG_DUMP_TEXT_H
