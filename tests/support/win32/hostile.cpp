// Windows has neither a second user at hand, nor fork, nor signals: every
// trick reports that it cannot, and the tests that need one skip.
#include "support/hostile.h"

namespace orn2::testing {

std::string OtherUsersUnavailable() { return "acting as another user is tested on Linux only"; }

bool BecomeUser(unsigned) { return false; }

std::string CreateObject(const std::string&, const std::string&) { return "not available"; }

void SetUmask(unsigned) {}

std::string Protection(const std::string&) { return ""; }

bool SetProtection(const std::string&, unsigned, unsigned, unsigned) { return false; }

std::string ForkUnavailable() { return "Windows has no fork"; }

int ForkProcess() { return -1; }

int WaitForkedProcess(int, long) { return -1; }

std::vector<std::string> SharedMappings() { return {}; }

std::string FillSharedMemoryFileSystems(bool) { return "a full /dev/shm is tested on Linux only"; }

std::string StdoutIntoUnreadPipe() { return "an unread console pipe is tested on Linux only"; }

bool LimitFileSize(long long) { return false; }

bool LimitOpenFiles(int) { return false; }

bool LimitThreads(int) { return false; }

std::string EnterNewPidNamespace() { return "PID namespaces are tested on Linux only"; }

bool SomeoneWaitsForALockOn(const std::string&) { return false; }

int OpenDescriptorCount() { return -1; }

bool LockFileByte(const std::string&, long long) { return false; }

bool BlockAllSignals() { return false; }

}  // namespace orn2::testing
