#!/usr/bin/env bash
# Checks of the installed and packaged library, run by the extras stage of
# scripts/test.sh with the build root as $1:
#   1. cmake --install into a prefix; a separate consumer project builds against it
#      with find_package and with pkg-config, and runs; the installed orn runs.
#   2. the Debian packages (runtime, -dev, -tools, -doc): names, contents,
#      dependencies; the consumer builds and runs against the unpacked runtime and
#      -dev packages; all four unpack together into a scratch dpkg root, where man
#      shows orn(1), bash-completion loads the completion of orn and the installed
#      orn, page and completion pass their tests.
#   3. the Windows zip: contents, the API reference included; the unpacked orn.exe
#      and the agent run under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(realpath -m "${1:-${ORN2_BUILD_ROOT:-$root/build}}")
jobs=$(nproc)
work=$build/extras
version=$(sed -n 's/^project(liborn2 VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
major=${version%%.*}

log() { printf '\n=== extras: %s ===\n' "$*"; }
fail() { echo "extras: FAILED: $*" >&2; exit 1; }
# Checks that a listing (stdin) holds a line matching each extended regex.
expect_all() {
  local listing; listing=$(cat)
  for pattern in "$@"; do
    grep -Eq -- "$pattern" <<<"$listing" || fail "$label: nothing matches '$pattern'"
  done
}
expect_none() {
  local listing; listing=$(cat)
  for pattern in "$@"; do
    if grep -Eq -- "$pattern" <<<"$listing"; then fail "$label: unexpected '$pattern'"; fi
  done
}
# Builds the consumer project and its pkg-config twin, then runs both in a scratch
# directory. Arguments: name, CMAKE_PREFIX_PATH, library directory; pkg-config's
# environment is set by the caller.
build_consumer() {
  local name=$1 prefix_path=$2 libdir=$3
  cmake -S "$root/tests/consumer" -B "$work/$name-cmake" -DCMAKE_PREFIX_PATH="$prefix_path" \
    >/dev/null
  cmake --build "$work/$name-cmake" >/dev/null
  # shellcheck disable=SC2046
  g++ -std=c++17 -o "$work/$name-pkgconfig" "$root/tests/consumer/main.cpp" \
    $(pkg-config --cflags --libs liborn2)
  mkdir -p "$work/$name-run"
  (cd "$work/$name-run" && "$work/$name-cmake/consumer" | grep -qx 'consumer ok') ||
    fail "$name: consumer built with find_package"
  (cd "$work/$name-run" && LD_LIBRARY_PATH=$libdir "$work/$name-pkgconfig" | grep -qx 'consumer ok') ||
    fail "$name: consumer built with pkg-config"
  echo "$name: consumer built with find_package and with pkg-config, both ran"
}

rm -rf "$work"
mkdir -p "$work"

log "install into a prefix, build a consumer against it"
prefix=$work/prefix
cmake -S "$root" -B "$work/install-build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORN2_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/install-build" -j "$jobs" >/dev/null
cmake --install "$work/install-build" >/dev/null
label=install
(cd "$prefix" && find . | sort) | expect_all '^\./include/liborn2/liborn2\.h$' \
  '^\./include/liborn2/export\.h$' "liborn2\.so\.$major$" '/liborn2\.so$' \
  '/cmake/liborn2/liborn2Config\.cmake$' '/pkgconfig/liborn2\.pc$' '^\./bin/orn$'
pc=$(find "$prefix" -name liborn2.pc)
PKG_CONFIG_PATH=$(dirname "$pc") build_consumer installed "$prefix" \
  "$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --variable=libdir liborn2)"
"$prefix/bin/orn" endpoint https://192.0.2.10:8443 | grep -qx 'valid: yes' ||
  fail "the installed orn does not run"
echo "installed orn runs"

log "Debian packages"
cmake -S "$root" -B "$work/deb-build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN2_BUILD_TESTS=OFF \
  -DORN2_BUILD_DOCS=ON -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$work/deb-build" -j "$jobs" >/dev/null
(cd "$work/deb-build" && cpack -G DEB >/dev/null)
arch=$(dpkg --print-architecture)
debs=$work/deb-build/packages
runtime=$debs/liborn2-${major}_${version}_$arch.deb
dev=$debs/liborn2-dev_${version}_$arch.deb
tools=$debs/liborn2-tools_${version}_$arch.deb
doc=$debs/liborn2-doc_${version}_all.deb
for deb in "$runtime" "$dev" "$tools" "$doc"; do [ -f "$deb" ] || fail "missing package $deb"; done
ls -1 "$debs"/*.deb

label=runtime
dpkg-deb -c "$runtime" | expect_all "/liborn2\.so\.$version\$" "/liborn2\.so\.$major -> liborn2\.so\.$version\$"
dpkg-deb -c "$runtime" | expect_none '/include/' '/liborn2\.so -> ' '\.pc$' '\.cmake$' '/bin/'
dpkg-deb -f "$runtime" Package | grep -qx "liborn2-$major" || fail "runtime package name"
dpkg-deb -f "$runtime" Depends | grep -q 'libc6' || fail "runtime package depends on libc6"
dpkg-deb -f "$runtime" Depends | grep -q 'libstdc++6' || fail "runtime package depends on libstdc++6"
dpkg-deb -I "$runtime" shlibs | grep -q "^liborn2 $major liborn2-$major" || fail "runtime shlibs file"
label=dev
dpkg-deb -c "$dev" | expect_all '/usr/include/liborn2/liborn2\.h$' '/usr/include/liborn2/export\.h$' \
  '/liborn2\.so -> liborn2\.so\.' '/cmake/liborn2/liborn2Config\.cmake$' \
  '/cmake/liborn2/liborn2ConfigVersion\.cmake$' '/cmake/liborn2/liborn2Targets\.cmake$' \
  '/pkgconfig/liborn2\.pc$'
dpkg-deb -c "$dev" | expect_none "liborn2\.so\.$version\$" '/bin/'
dpkg-deb -f "$dev" Depends | grep -q "liborn2-$major (= $version)" || fail "-dev depends on runtime"
label=tools
dpkg-deb -c "$tools" | expect_all '\./usr/bin/orn$' '\./usr/share/man/man1/orn\.1\.gz$' \
  '\./usr/share/bash-completion/completions/orn$'
dpkg-deb -f "$tools" Depends | grep -q "liborn2-$major" || fail "tools depend on runtime"
label=doc
dpkg-deb -c "$doc" | expect_all '\./usr/share/doc/liborn2-doc/html/index\.html$' \
  '/html/classConfig\.html$' '/html/classCronParser\.html$' '/html/classThread\.html$'
dpkg-deb -c "$doc" | expect_none '/bin/' '/lib/' '/include/'
[ "$(dpkg-deb -f "$doc" Architecture)" = all ] || fail "liborn2-doc is not Architecture: all"
grep -q 'A tour of the classes' <(dpkg-deb --fsys-tarfile "$doc" | tar -xO ./usr/share/doc/liborn2-doc/html/index.html) ||
  fail "the reference's main page is not the README"

# The unpacked runtime and -dev packages serve a consumer like an installed system.
debroot=$work/debroot
dpkg-deb -x "$runtime" "$debroot"
dpkg-deb -x "$dev" "$debroot"
soname=$(objdump -p "$(find "$debroot" -name "liborn2.so.$version")" | awk '/SONAME/ {print $2}')
[ "$soname" = "liborn2.so.$major" ] || fail "soname is '$soname'"
pcdir=$(dirname "$(find "$debroot" -name liborn2.pc)")
PKG_CONFIG_SYSROOT_DIR=$debroot PKG_CONFIG_LIBDIR=$pcdir build_consumer debian "$debroot/usr" \
  "$(dirname "$pcdir")"

# All four packages go into a scratch dpkg database and root together: dpkg
# accepts them and finds no file in two of them. They are unpacked, not
# configured, since the maintainer scripts would run ldconfig for the machine
# itself; the dependencies (libc6 ...) are those of the machine, not of the root.
dpkgroot=$work/dpkgroot
mkdir -p "$dpkgroot/var/lib/dpkg/info" "$dpkgroot/var/lib/dpkg/updates"
touch "$dpkgroot/var/lib/dpkg/status" "$dpkgroot/var/lib/dpkg/available"
dpkg --root="$dpkgroot" --log=/dev/null --force-not-root --force-depends \
  --unpack "$runtime" "$dev" "$tools" "$doc" >/dev/null || fail "dpkg does not unpack the packages"
unpacked=$(dpkg --root="$dpkgroot" -l 'liborn2*' | awk '/^.U/ {print $2}' | sort | tr '\n' ' ')
[ "$unpacked" = "liborn2-$major:$arch liborn2-dev:$arch liborn2-doc liborn2-tools:$arch " ] ||
  [ "$unpacked" = "liborn2-$major liborn2-dev liborn2-doc liborn2-tools " ] ||
  fail "dpkg unpacked '$unpacked'"
echo "dpkg unpacks the four packages together: $unpacked"
page=$(MANPATH=$dpkgroot/usr/share/man MANWIDTH=80 man orn 2>&1) || fail "man orn: $page"
grep -q '^NAME' <<<"$page" || fail "man orn shows no page: $page"
echo "man orn shows the installed page"
gunzip -c "$dpkgroot/usr/share/man/man1/orn.1.gz" >"$work/orn.1"
bash "$root/tests/tools/man_test.sh" "$work/orn.1" "" "$dpkgroot/usr/bin/orn" ||
  fail "the installed manual page"
if [ -r /usr/share/bash-completion/bash_completion ]; then
  # bash-completion finds completions under every folder of XDG_DATA_DIRS.
  loaded=$(XDG_DATA_DIRS=$dpkgroot/usr/share bash --norc --noprofile -c \
    '. /usr/share/bash-completion/bash_completion; _completion_loader orn; complete -p orn')
  [ "$loaded" = "complete -F _orn orn" ] || fail "bash-completion does not load the completion: $loaded"
  echo "bash-completion loads the installed completion of orn"
fi
bash "$root/tests/tools/completion_test.sh" "$dpkgroot/usr/share/bash-completion/completions/orn" \
  "" "$dpkgroot/usr/bin/orn" || fail "the installed completion"

log "Windows zip, orn.exe and the agent under wine64"
export WINEDEBUG=-all WINEPREFIX="$build/wineprefix"
if [ ! -d "$WINEPREFIX" ]; then /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true; fi
win=$build/windows
cmake -S "$root" -B "$win" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN2_BUILD_DOCS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
cmake --build "$win" -j "$jobs" --target orn2 orn orn-agent docs >/dev/null
rm -rf "$win/packages"
(cd "$win" && cpack -G ZIP >/dev/null)
zip=$win/packages/liborn2-$version-win64.zip
[ -f "$zip" ] || fail "missing $zip"
label=zip
unzip -l "$zip" | expect_all '/bin/liborn2\.dll$' '/bin/orn\.exe$' '/lib/liborn2\.dll\.a$' \
  '/include/liborn2/liborn2\.h$' '/lib/cmake/liborn2/liborn2Config\.cmake$' \
  '/lib/pkgconfig/liborn2\.pc$' '/doc/html/index\.html$' '/doc/html/classConfig\.html$'
unzip -q "$zip" -d "$work/zip"
wine64=$root/cmake/wine64-fixed-layout.sh  # wine64 that starts every time
orn_exe=$(find "$work/zip" -name orn.exe)
mkdir -p "$work/wine-run"
cd "$work/wine-run"
"$wine64" "$orn_exe" endpoint https://192.0.2.10:8443 | tr -d '\r' | grep -qx 'valid: yes' ||
  fail "orn.exe from the zip does not run under wine64"
echo "orn.exe from the zip runs under wine64"
status=0
"$wine64" "$win/orn-agent.exe" --config "$root/examples/agent.conf" \
  --log agent.log --run-for 2 >agent.out 2>&1 || status=$?
[ $status -eq 0 ] || { cat agent.out; fail "orn-agent.exe exited with $status"; }
tr -d '\r' <agent.log | grep -q 'agent stopped' || { cat agent.out; fail "agent log incomplete"; }
echo "orn-agent.exe ran for 2 seconds under wine64 and stopped cleanly"

log "all extra checks passed"
