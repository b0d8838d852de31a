// The main of every test program: either one registered child body (when the
// program was started again by a multi-process test) or the GoogleTest run.
#include <gtest/gtest.h>

#include "support/child.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  if (orn2::testing::RunChildIfRequested(argc, argv, &exitCode)) return exitCode;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
