# Shared rules for the programs built on the installed form of the library (the orn
# tool, the example agent, the tour examples): they link the shared library
# liborn2::orn2, never the static test twin, and they land beside it in the top build
# directory, so that on Windows the loader finds liborn2.dll next to the .exe.
include_guard(DIRECTORY)

# Code of the programs sees what any program sees: the public headers (include/)
# and tools/ (its own folders, and tools/common), never the library's source
# root, so that a private header ("port/fs.h", "util/hash.h") does not compile
# there. A library of the programs' code is compiled once and links into the
# programs (against liborn2.dll or liborn2.so) and into the tests (against the
# static twin); so on Windows it is compiled without the DLL import marks
# (ORN2_STATIC), and the programs reach the DLL's functions through the import
# library's stubs.
function(orn2_use_public_api target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/include
    ${PROJECT_SOURCE_DIR}/tools)
  target_compile_definitions(${target} PRIVATE ORN2_STATIC)
endfunction()

# orn2_add_program(TARGET SOURCE... [LINK LIBRARY...]): the LINK libraries
# (of the programs' code) come before liborn2 on the link line.
function(orn2_add_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LINK")
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${arg_LINK} liborn2::orn2)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(WIN32)
    # Like the DLL, the programs carry their runtimes: nothing to find but liborn2.dll.
    target_link_options(${target} PRIVATE -static)
  else()
    # Installed programs find the library of their own prefix, wherever it lies.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endfunction()

# The helpers of the programs (tools/common: console signals, followed files,
# local times), one source each for this platform, compiled once for the tool,
# the example agent and the tests of the tool's pieces.
if(NOT TARGET orn2_program_common)
  if(WIN32)
    set(orn2_common_platform win32)
  else()
    set(orn2_common_platform posix)
  endif()
  add_library(orn2_program_common STATIC
    ${PROJECT_SOURCE_DIR}/tools/common/${orn2_common_platform}/console.cpp
    ${PROJECT_SOURCE_DIR}/tools/common/${orn2_common_platform}/followed_file.cpp
    ${PROJECT_SOURCE_DIR}/tools/common/${orn2_common_platform}/local_time.cpp)
  orn2_use_public_api(orn2_program_common)
  if(WIN32)
    # <windows.h> lean and without the min/max macros that break the standard library.
    target_compile_definitions(orn2_program_common PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN)
  endif()
endif()

# Tests of the programs are shell scripts that start the program themselves; under a
# cross-compiling emulator (wine64) they get it as their first argument, because CTest
# only applies the emulator to commands that name a target directly.
string(JOIN " " ORN2_PROGRAM_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
