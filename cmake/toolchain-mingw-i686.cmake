# 32-bit Windows (built here, not run: wine64 runs 64-bit programs only).
set(ORN2_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
