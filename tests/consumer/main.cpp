// Uses each public class of an installed liborn2 once and checks the answer;
// exits with 0 and prints "consumer ok" when everything behaves.
#include <liborn2/liborn2.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: %s failed\n", what);
    ++failures;
  }
}

class Counter : public Thread {
 public:
  Counter() : Thread(256 * 1024) {}
  std::atomic<int> count{0};

 protected:
  void Run() override {
    while (count < 1000) ++count;
  }
};

}  // namespace

int main() {
  const char* file = "consumer.conf";
  {
    Config config;
    config.SetString("port", "443", 0, "soap", 1);
    Check(config.SaveConfig(file) == 0, "Config::SaveConfig");
  }
  {
    Config config(file);
    Check(config.GetInteger("port", "soap") == 443, "Config::GetInteger");
  }
  std::remove(file);
  std::remove("consumer.conf.Save");

  const OrnEndPoint endPoint("https://192.0.2.10:8443");
  Check(endPoint.GetPort() == 8443, "OrnEndPoint::GetPort");

  const OrnIPParser range("10.0.0.1-3", "");
  short values[256] = {};
  unsigned int count = 256;
  range.GetClassDRange(values, count);
  Check(values[2] == 3, "OrnIPParser::GetClassDRange values");

  CronParser cron;
  char line[] = "*/5 * * * *";
  Check(cron.eval(line) == 1, "CronParser::eval");

  Mutex mutex;
  { Guard guard(mutex); }
  Check(mutex.TryLock() == 0, "Mutex and Guard");

  Counter counter;
  Check(counter.Start() == 0, "Thread::Start");
  Check(counter.Wait(10000) == 0, "Thread::Wait");
  Check(counter.count == 1000, "Thread::Run");
  counter.CloseThreadHandle();

  Log log("consumer");
  Check(log.EnableLog("consumer.log", 3) == 0, "Log::EnableLog");
  Check(log.LogLine(3, "%s", "hello") == 5, "Log::LogLine");
  std::remove("consumer.log");

  if (failures != 0) return 1;
  std::printf("consumer ok\n");
  return 0;
}
