# Packages made by CPack from the install rules' components:
#   Linux (DEB):   liborn2-1      runtime: the shared library and its soname link
#                  liborn2-dev    dev: headers, the liborn2.so link, CMake package, liborn2.pc
#                  liborn2-tools  tools: the orn command-line tool, its manual page, its
#                                 bash completion and the integrations (syslog-ng, rsyslog,
#                                 lnav, Ansible) under share/liborn2/integrations
#                  liborn2-doc    doc: the API reference in HTML (with ORN2_BUILD_DOCS)
#   Windows (ZIP): one archive with liborn2.dll, the import library, the headers, the CMake
#                  and pkg-config files, orn.exe, the integrations and (with ORN2_BUILD_DOCS)
#                  the API reference.
# The Debian packages install under CMAKE_INSTALL_PREFIX, because the pkg-config file is
# written with that prefix at configure time: configure with -DCMAKE_INSTALL_PREFIX=/usr
# for packages meant for a Debian system (scripts/extras.sh does).
set(CPACK_PACKAGE_NAME liborn2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "liborn2")
set(CPACK_PACKAGE_CONTACT "liborn2 maintainers <liborn2@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Support library for monitoring agent services")
set(CPACK_PACKAGE_DESCRIPTION
  "Configuration files with backup-on-save, per-module log files shared by many processes, \
server endpoints, IP range expansion, cron-style schedules, named mutexes and worker threads.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime dev tools)
if(ORN2_BUILD_DOCS)
  list(APPEND CPACK_COMPONENTS_ALL doc)
endif()
set(CPACK_COMPONENT_RUNTIME_DISPLAY_NAME "liborn2 shared library")
set(CPACK_COMPONENT_DEV_DISPLAY_NAME "liborn2 development files")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DISPLAY_NAME "orn command-line tool")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_DOC_DISPLAY_NAME "liborn2 API reference")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(orn2_package_arch win64)
  else()
    set(orn2_package_arch win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME liborn2-${PROJECT_VERSION}-${orn2_package_arch})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/liborn2")
  set(orn2_runtime_package liborn2-${PROJECT_VERSION_MAJOR})
  set(orn2_runtime_depends "${orn2_runtime_package} (= ${PROJECT_VERSION})")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${orn2_runtime_package})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  # Dependencies on libc and libstdc++ come from dpkg-shlibdeps; the package also
  # carries a shlibs file so that packages built against it depend on it.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

  set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborn2-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${orn2_runtime_depends}")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME liborn2-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  # orn links liborn2.so.1, which dpkg-shlibdeps cannot look up before the runtime
  # package is installed, so the dependencies are spelled out.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${orn2_runtime_depends}, libc6, libstdc++6, libgcc-s1")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "bash-completion")

  # The reference is the same on every architecture and needs nothing to be read.
  set(CPACK_DEBIAN_DOC_PACKAGE_NAME liborn2-doc)
  set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
  set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_DOC_FILE_NAME liborn2-doc_${PROJECT_VERSION}_all.deb)
endif()

include(CPack)
