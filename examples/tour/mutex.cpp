// Tour: Mutex, Guard and WinGuard. A named Mutex is one lock for every process
// that opens the same name; a Guard holds one for a scope.
#include <liborn2/mutex.h>

#include <cstdio>

int main() {
  Mutex shared("orn-tour-lock");  // named: shared with other processes
  {
    Guard guard(shared);  // Acquire here, Release at the closing brace
    Guard again(shared);  // recursive for the owning thread
  }
  WinGuard section;  // a lock for the threads of this process only
  section.Lock();
  section.Unlock();
  std::printf("TryLock on a free mutex: %d\n", shared.TryLock());  // 0; the probe never holds it
  return shared.TryLock() == 0 ? 0 : 1;
}
