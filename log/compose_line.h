// Putting together the line of one message (the prefix, the truncation marker,
// the level prefix, the message with its line ends encoded): apart from
// appending it, so that the file and the console get the same text.
#ifndef ORN2_LOG_COMPOSE_LINE_H
#define ORN2_LOG_COMPOSE_LINE_H

#include <liborn2/log.h>
#include <liborn2/log_format.h>

#include <cstddef>

namespace orn2::log {

// A line as Log::ComposeLine puts it together: each character of the prefix
// and the message may take three bytes once line ends inside them are encoded,
// and so may the line end after the truncation marker.
constexpr size_t kLineSize = 3 * (Log::kPrefixSize + Log::kMessageMax) +
                             sizeof LogFormat::kTruncationMarker + 3 +
                             sizeof LogFormat::kErrorPrefix + 2;

}  // namespace orn2::log

#endif  // ORN2_LOG_COMPOSE_LINE_H
