#!/usr/bin/env bash
# The whole test run, from a fresh Debian machine: installs what it needs, then
# builds and tests natively (with the API reference, whose Doxygen warnings fail
# the build, and the tests of the manual page and the bash completion), under
# ASan+UBSan and TSan, cross-builds for x86-64 Windows and runs the suite under
# Wine, and cross-builds for 32-bit Windows and runs the suite under 32-bit Wine
# (emulated; see scripts/win32-wine.sh).
# Usage: scripts/test.sh [stage...]   (stages: deps native asan tsan windows win32 extras)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORN2_BUILD_ROOT:-$root/build}
jobs=$(nproc)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(deps native asan tsan windows win32 extras)

log() { printf '\n=== %s ===\n' "$*"; }

deps() {
  "$root/scripts/install-deps.sh" cmake g++ clang make pkg-config googletest libbenchmark-dev \
    libclang-rt-14-dev file unzip g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 \
    doxygen mandoc groff-base man-db bash-completion dpkg-dev logrotate debootstrap \
    syslog-ng-core lnav python3 libestr0 libfastjson4 liblognorm5
  # The Ansible test reads its playbook runs through the json stdout callback of
  # the ansible.posix collection, which comes with the package ansible.
  "$root/scripts/install-deps.sh" --no-recommends ansible-core ansible
  # rsyslog conflicts with syslog-ng-core as a package, so it is unpacked, not
  # installed: its test runs rsyslogd from there (the libraries above are its
  # dependencies).
  if [ ! -x "$build/engines/rsyslog/usr/sbin/rsyslogd" ]; then
    log "deps: unpacking rsyslog"
    mkdir -p "$build/engines"
    (cd "$build/engines" &&
      { apt-get download rsyslog >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get download rsyslog >/dev/null 2>&1; }; } &&
      dpkg-deb -x rsyslog_*.deb rsyslog && rm -f rsyslog_*.deb) ||
      echo "rsyslog could not be downloaded: its test will skip"
  fi
}

configure_build_test() {  # name, then cmake arguments
  local name=$1; shift
  log "$name: build"
  cmake -S "$root" -B "$build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$build/$name" -j "$jobs"
  log "$name: test"
  # One test per core: several tests are multi-process and time-bound, and more
  # jobs than cores only makes them wait on each other.
  ctest --test-dir "$build/$name" -j "$jobs" --output-on-failure --timeout 180
}

# Only the native stage tests the integrations with the real engines.
native() {
  configure_build_test native -DORN2_BUILD_BENCH=ON -DORN2_BUILD_DOCS=ON \
    -DORN2_TEST_INTEGRATIONS=ON -DORN2_RSYSLOG_ROOT="$build/engines/rsyslog"
}

asan() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    configure_build_test asan -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
}

tsan() {
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    configure_build_test tsan -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS=-fsanitize=thread -g"
}

windows() {
  export WINEDEBUG=-all WINEPREFIX="$build/wineprefix"
  if [ ! -d "$WINEPREFIX" ]; then
    log "windows: preparing a Wine prefix"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  fi
  # One Wine server for the whole run: left to itself it exits a few seconds
  # after its last program, and a program starting just then finds the server
  # going away ("wine client error: ... Connection reset by peer").
  # A server still running (the one wineboot started, or one an interrupted run
  # left) is ended first: a second one for the same prefix is refused.
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  /usr/lib/wine/wineserver -p
  # The prefix's own background programs start now, with no test's output pipe
  # to inherit and hold open.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
  local rc=0
  configure_build_test windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" ||
    rc=$?
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  return $rc
}

# The 32-bit root with Wine and qemu is kept in $ORN2_CACHE (default
# /var/cache/liborn2), outside the clone, so later runs on this machine reuse it.
win32() { "$root/scripts/win32-wine.sh" "$build/win32"; }

extras() {
  log "fuzz: every target briefly under ASan+UBSan"
  ORN2_BUILD_ROOT="$build" "$root/scripts/fuzz.sh" "${ORN2_FUZZ_SECONDS:-20}"
  if [ -x "$root/scripts/extras.sh" ]; then "$root/scripts/extras.sh" "$build"; fi
}

for stage in "${stages[@]}"; do
  started=$SECONDS
  "$stage"
  log "$stage: $((SECONDS - started)) s"
done
log "all stages passed: ${stages[*]}"
