# Shared rules for the programs built on the installed form of the library (the orn
# tool, the example agent, the tour examples): they link the shared library
# liborn2::orn2, never the static test twin, and they land beside it in the top build
# directory, so that on Windows the loader finds liborn2.dll next to the .exe.
include_guard(DIRECTORY)

function(orn2_add_program target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE liborn2::orn2)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(WIN32)
    # Like the DLL, the programs carry their runtimes: nothing to find but liborn2.dll.
    target_link_options(${target} PRIVATE -static)
  else()
    # Installed programs find the library of their own prefix, wherever it lies.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endfunction()

# Programs that use the console helpers (tools/common/console.h), the followed
# files (tools/common/followed_file.h) or local times (tools/common/local_time.h)
# compile their one source for this platform.
if(WIN32)
  set(ORN2_CONSOLE_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/win32/console.cpp)
  set(ORN2_FOLLOWED_FILE_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/win32/followed_file.cpp)
  set(ORN2_LOCAL_TIME_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/win32/local_time.cpp)
else()
  set(ORN2_CONSOLE_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/posix/console.cpp)
  set(ORN2_FOLLOWED_FILE_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/posix/followed_file.cpp)
  set(ORN2_LOCAL_TIME_SOURCE ${PROJECT_SOURCE_DIR}/tools/common/posix/local_time.cpp)
endif()

# Tests of the programs are shell scripts that start the program themselves; under a
# cross-compiling emulator (wine64) they get it as their first argument, because CTest
# only applies the emulator to commands that name a target directly.
string(JOIN " " ORN2_PROGRAM_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
