// What only Linux answers among the helpers: the running program's path
// (/proc/self/exe), the calling thread's stack size (pthread_getattr_np) and
// the main heap's use (mallinfo2).
#include "support/system.h"

#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

#include "support/process.h"

namespace orn2::testing {

std::string SelfPath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::size_t CurrentThreadStackSize() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  std::size_t size = 0;
  pthread_attr_getstacksize(&attr, &size);
  pthread_attr_destroy(&attr);
  return size;
}

std::size_t HeapBytesInUse() { return ::mallinfo2().uordblks; }

}  // namespace orn2::testing
