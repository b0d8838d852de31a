// What the tests of hostile and careless use need of the system: acting as a
// second local user, forking, full shared-memory file systems, threads that
// block every signal. Linux only; elsewhere each call reports that it cannot,
// and the tests that need it skip.
#ifndef ORN2_TESTS_SUPPORT_HOSTILE_H
#define ORN2_TESTS_SUPPORT_HOSTILE_H

#include <string>
#include <vector>

namespace orn2::testing {

// The user ids the cross-user tests switch to: `nobody`, and one more that
// needs no account.
constexpr unsigned kSecondUser = 65534;
constexpr unsigned kThirdUser = 65533;

// Why a test program cannot act as other users here (it must run as root on
// Linux); empty when it can.
std::string OtherUsersUnavailable();

// Makes the calling process, a child started for the purpose, the user `uid`
// (with the group of the same number) for good. False on failure.
bool BecomeUser(unsigned uid);

// Creates at `path` an object of `kind`: "directory" (mode 0777), "file"
// (0666), "locked file" (0666, with a write lock on it held until the process
// ends), "fifo", "symlink" (to /dev/null) or "symlink to TARGET". Returns ""
// or the reason it failed.
std::string CreateObject(const std::string& kind, const std::string& path);

// The permission bits, owner and group of `path` as "0640 0:4"; "" where the
// system has no such notion, or the status cannot be read.
std::string Protection(const std::string& path);

// Sets the permission bits, owner and group of `path`; false on failure, and
// where the system has no such notion.
bool SetProtection(const std::string& path, unsigned mode, unsigned uid, unsigned gid);

// Why this platform has no fork; empty where it has.
std::string ForkUnavailable();
// fork(): 0 in the child, the child's id in the parent, -1 when it failed.
int ForkProcess();
// Ends a forked child at once with `code`, running no exit handlers.
[[noreturn]] void EndForkedProcess(int code);
// Waits up to timeoutMs for a forked child: its exit code, or -1 (it is then
// killed).
int WaitForkedProcess(int pid, long timeoutMs);

// The paths of the files this process has mapped shared.
std::vector<std::string> SharedMappings();

// For a child started for the purpose: gives it a mount namespace of its own
// in which /dev/shm and /run are tiny file systems with no room left. Returns
// "" or why it cannot (not permitted here, not available).
std::string FillSharedMemoryFileSystems();

// Blocks every signal that the calling thread can block; false where threads
// have no signals.
bool BlockAllSignals();

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_HOSTILE_H
