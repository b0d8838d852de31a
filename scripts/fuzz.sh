#!/usr/bin/env bash
# Builds every libFuzzer target under ASan+UBSan and runs each briefly.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORN2_BUILD_ROOT:-$root/build}/fuzz
seconds=${1:-20}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DORN2_BUILD_FUZZ=ON -DORN2_BUILD_TESTS=OFF -DORN2_BUILD_TOOLS=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fsanitize=fuzzer-no-link" >/dev/null
cmake --build "$build" -j "$(nproc)"
for target in "$build"/fuzz/orn2_*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target" _fuzz); name=${name#orn2_}
  corpus="$build/corpus/$name"; mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  echo "--- fuzzing $name for ${seconds}s"
  status=0
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus" "${seeds[@]}" > "$build/$name.log" 2>&1 || status=$?
  tail -4 "$build/$name.log"
  if [ "$status" -ne 0 ]; then
    echo "fuzz target $name failed (exit $status); its output:"
    tail -60 "$build/$name.log"
    exit 1
  fi
done
