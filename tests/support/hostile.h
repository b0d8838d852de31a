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

// Sets the process's file mode creation mask (umask); nothing where there is none.
void SetUmask(unsigned mask);

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
// Waits up to timeoutMs for a forked child: its exit code, or -1 (it is then
// killed).
int WaitForkedProcess(int pid, long timeoutMs);

// The paths of the files this process has mapped shared.
std::vector<std::string> SharedMappings();

// For a child started for the purpose: gives it a mount namespace of its own
// in which /dev/shm and /run are tiny file systems with no room left, or with
// `readOnly` empty ones where nothing can be made. Returns "" or why it cannot
// (not permitted here, not available).
std::string FillSharedMemoryFileSystems(bool readOnly = false);

// Sends the process's standard output, unbuffered, into a pipe that nobody
// reads and that has room for less than two lines of 2048 characters: the
// second such line blocks its writer for good. "" or why it cannot.
std::string StdoutIntoUnreadPipe();

// Limits the size of files the process writes to `bytes` (RLIMIT_FSIZE); a
// write with no room left raises SIGXFSZ, which ends the process unless it is
// handled. False where there is no such limit.
bool LimitFileSize(long long bytes);

// Limits the descriptors the process may have open (RLIMIT_NOFILE); false
// where there is no such limit.
bool LimitOpenFiles(int count);

// Limits the threads and processes the process's user may have (RLIMIT_NPROC,
// which root is not held to); false where there is no such limit.
bool LimitThreads(int count);

// For a child started for the purpose: its next child (ForkProcess) starts a
// PID namespace of its own, as pid 1. "" or why it cannot.
std::string EnterNewPidNamespace();

// True when some process waits for a lock on the file at `path` (as the
// system's lock table shows it); false where that cannot be seen.
bool SomeoneWaitsForALockOn(const std::string& path);

// How many descriptors the process has open (-1 where that cannot be seen).
int OpenDescriptorCount();

// Takes a write lock of the open file description kind on one byte of the file
// at `path`, held until the process ends; false when it cannot.
bool LockFileByte(const std::string& path, long long byte);

// Blocks every signal that the calling thread can block; false where threads
// have no signals.
bool BlockAllSignals();

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_HOSTILE_H
