// What the POSIX file layer asks of the system beyond POSIX itself.
#ifndef ORN2_PORT_POSIX_REGULAR_FILE_H
#define ORN2_PORT_POSIX_REGULAR_FILE_H

namespace orn2::port {

// True when the open descriptor `fd` is a regular file; false (errno set when
// the system could not tell) for anything else. Asks for the file's type only,
// which costs less than a whole fstat: every log line pays for it.
bool IsRegularDescriptor(int fd);

}  // namespace orn2::port

#endif  // ORN2_PORT_POSIX_REGULAR_FILE_H
