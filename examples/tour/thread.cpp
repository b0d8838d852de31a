// Tour: Thread. The body polls StopFlag(); CloseThread raises the flag and waits
// up to about 20 seconds before it terminates a body that does not return.
#include <liborn2/thread.h>

#include <atomic>
#include <cstdio>

class Ticker : public Thread {
 public:
  Ticker() : Thread(64 * 1024) {}  // stack size in bytes
  std::atomic<int> ticks{0};       // read by the owner while the body runs

  void Run() override {
    while (StopFlag() == 0) {
      ++ticks;
      Sleep(10);
    }
  }
};

int main() {
  Ticker ticker;
  if (ticker.Start() != 0) return 1;
  Thread::Sleep(100);
  ticker.CloseThread();  // returns as soon as the body has seen the flag
  std::printf("status %d after %d ticks\n", ticker.GetStatus(), ticker.ticks.load());
  return ticker.GetStatus() == Thread::Finished ? 0 : 1;
}
