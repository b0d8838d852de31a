// Time limits of the tests on slow runs. A limit only keeps a hung test from
// blocking the run, so a run under an emulator may stretch every limit by the
// factor in ORN2_TEST_TIME_FACTOR (a whole number, 1 when unset); the win32
// stage sets it, as it sets the CMake variable of the same name for CTest's.
#ifndef ORN2_TESTS_SUPPORT_TIME_FACTOR_H
#define ORN2_TESTS_SUPPORT_TIME_FACTOR_H

namespace orn2::testing {

// `limit` (milliseconds or seconds) times the factor.
long ScaledLimit(long limit);

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_TIME_FACTOR_H
