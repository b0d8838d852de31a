// Tour: Log. Every line is appended under the file's named mutex, so several
// processes can share one log file; echo also prints the lines on the console.
#include <liborn2/log.h>

int main() {
  Log log("Poller", 1);                               // module name, echo on
  if (log.EnableLog("poller.log", 3) != 0) return 1;  // creates the file with its header
  log.SetRotation(10 << 20, 5);  // past 10 MiB: poller.log.1 ... poller.log.5, in every process
  log.LogLine(2, "Retry %d of %d", 3, 5);             // "*WARNING* Retry 3 of 5" in the file
  log.LogLine(4, "not written: level 4 is above the log's level 3");
  log.LogBlank();
  char packet[] = {'A', 'B', 'C', 1};
  log.Dump(packet, sizeof packet, "Packet");  // level 4: dropped at level 3
  return 0;
}
