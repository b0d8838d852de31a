#!/usr/bin/env bash
# The main job, from a fresh Debian machine: installs what the build needs, builds
# the library and the example agent (no tests) in build/agent, and runs the agent on
# the bundled examples/agent.conf with its log lines on the console.
# Usage: scripts/run-agent.sh [agent arguments...]   e.g. --run-for 30, --config FILE
# Stop it with Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORN2_BUILD_ROOT:-$root/build}/agent

"$root/scripts/install-deps.sh" cmake g++ make

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORN2_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target orn-agent >/dev/null
# The agent writes its log file (orn-agent.log unless the configuration names
# another) in the current directory, so it runs in the build directory.
cd "$build"
exec ./orn-agent "$@"
