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

// The directory's name for a file that tells that the directory was made anew
// while processes of the user still used files of one that was removed (see
// HeldThroughRemovedDirectory). Not a name any object file has.
constexpr char kRemovedBeforeMark[] = ".removed-while-in-use";

// For a file about to be set up afresh in the private directory at
// `directory.path`: true with the process in *holder when another process of
// the user still maps a file of that name from a removed private directory
// (logind's RemoveIPC at logout, a cleaner of /dev/shm), so that a new file
// would split the mutex. Looks only while the directory carries the mark; the
// mark goes once no process maps a removed file of the directory any more.
bool HeldThroughRemovedDirectory(const PrivateDirectory& directory, const std::string& fileName,
                                 long* holder);

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
