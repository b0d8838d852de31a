// Tour: OrnIPParser. An expression is expanded into one list per octet; the
// first and fourth octets are handed out without 0 and 255.
#include <liborn2/ipparser.h>

#include <cstdio>

int main() {
  OrnIPParser range("192.168.1-2.*", "");                // range mode
  OrnIPParser block("192.168.1.77", "255.255.255.192");  // base address and net mask
  short third[256];
  unsigned int thirdCount = 256;  // in: room in the array; out: values written
  range.GetClassCRange(third, thirdCount);
  short fourth[256];
  unsigned int fourthCount = 256;
  block.GetClassDRange(fourth, fourthCount);
  std::printf("third octet: %u values from %d; block: %d to %d\n", thirdCount, third[0], fourth[0],
              fourth[fourthCount - 1]);
  return range.IsValid() && thirdCount == 2 && fourthCount == 64 ? 0 : 1;
}
