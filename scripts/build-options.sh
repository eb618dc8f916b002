#!/usr/bin/env bash
# Configures and builds the option combinations no preset covers, so that a
# broken option shows up: tests without the tools, the bare libraries, the
# benchmarks without the tools. Each in a throwaway folder under build/options
# (removed first); nothing is run. Usage: scripts/build-options.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
root=build/options
run() {
  local name=$1; shift
  echo "-- $name: $*"
  rm -rf "${root:?}/$name"
  cmake -S . -B "$root/$name" -DCMAKE_BUILD_TYPE=Release -DKUT_WERROR=ON "$@" >/dev/null
  cmake --build "$root/$name" -j "$jobs" >/dev/null
}
run tests-no-tools -DKUT_BUILD_TOOLS=OFF -DKUT_BUILD_TESTS=ON -DKUT_TESTING=ON
run libraries-only -DKUT_BUILD_TOOLS=OFF -DKUT_BUILD_TESTS=OFF
run bench-no-tools -DKUT_BUILD_BENCH=ON -DKUT_BUILD_TESTS=OFF -DKUT_BUILD_TOOLS=OFF
echo "build options: every combination builds"
