# 32-bit Windows (its tests run under 32-bit Wine: scripts/win32-wine.sh).
set(ORN2_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
