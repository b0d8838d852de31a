// The directory in which the named objects of one user live, writable,
// readable and searchable by that user alone.
#ifndef ORN2_PORT_LINUX_PRIVATE_DIRECTORY_H
#define ORN2_PORT_LINUX_PRIVATE_DIRECTORY_H

#include <string>

namespace orn2::port {

// An open private directory. Its descriptor stays open until the process
// ends, so that a file opened in it is always removed from the directory it
// was made in.
struct PrivateDirectory {
  int fd = -1;
  std::string path;
};

// The private directory of the effective user, created (mode 0700) if it is
// missing: /run/liborn2-v4-0 for root, /dev/shm/liborn2-v4-<uid> for every other
// user. It is opened and checked once, then kept. False with the reason in
// *why when it cannot be had, or when what stands at its name is not a
// directory of this user that no one else may enter (squatted, a link).
bool GetPrivateDirectory(PrivateDirectory* directory, std::string* why);

// Called when no file could be made in the directory because the directory
// itself is gone (removed by its user): the next GetPrivateDirectory opens
// it afresh. `fd` is the descriptor that failed.
void ForgetPrivateDirectory(int fd);

// "<what> <path>: <the system's text for error>", for reasons of refusal.
std::string DescribeError(const char* what, const std::string& path, int error);

}  // namespace orn2::port

#endif  // ORN2_PORT_LINUX_PRIVATE_DIRECTORY_H
