# 64-bit Windows; its programs run here under wine64 (with a fixed layout: see
# the script).
set(ORN2_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine64-fixed-layout.sh)
