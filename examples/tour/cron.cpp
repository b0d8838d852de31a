// Tour: CronParser. Five fields: minute, hour, day of month, month (0-11), day
// of week; the answers come from the local clock.
#include <liborn2/cron.h>

#include <cstdio>
#include <ctime>

int main() {
  CronParser cron;
  char line[] = "*/15 * * * *";
  if (cron.eval(line) != 1) return 1;
  unsigned long next = cron.getStartTime(line);          // after the current minute
  unsigned long last = cron.getLastStartTime(line, 15);  // within the last 15 minutes
  std::printf("due today: %d, next in %ld s, last %ld s ago\n", cron.evalToday(line),
              static_cast<long>(next - std::time(nullptr)),
              static_cast<long>(std::time(nullptr) - last));
  return next != 0 && last != 0 ? 0 : 1;
}
