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
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++)
  else()
    # Installed programs find the library of their own prefix, wherever it lies.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endfunction()

# Programs that use the console layer compile its one source for this platform.
if(WIN32)
  set(ORN2_CONSOLE_SOURCE ${PROJECT_SOURCE_DIR}/port/win32/console.cpp)
else()
  set(ORN2_CONSOLE_SOURCE ${PROJECT_SOURCE_DIR}/port/posix/console.cpp)
endif()

# liborn2.dll may import the mingw-w64 thread runtime; keep a copy beside it so that
# the programs start from the build directory (packaging.cmake found the file).
if(WIN32 AND ORN2_WINPTHREAD_DLL AND NOT TARGET orn2_winpthread_copy)
  add_custom_target(orn2_winpthread_copy ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORN2_WINPTHREAD_DLL} ${CMAKE_BINARY_DIR}/
    COMMENT "Copying libwinpthread-1.dll beside liborn2.dll")
endif()

# Tests of the programs are shell scripts that start the program themselves; under a
# cross-compiling emulator (wine64) they get it as their first argument, because CTest
# only applies the emulator to commands that name a target directly.
string(JOIN " " ORN2_PROGRAM_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
