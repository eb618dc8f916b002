#!/usr/bin/env bash
# The main job: builds the libraries, the kut tool and the sample data
# (Release, no tests) and runs `kut demo`, a host module's typical request on
# the bundled sample data. Needs only cmake (3.25 or later) and a C++17
# compiler; no argument, no configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in cmake c++; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "demo.sh: $tool not found; scripts/install-deps.sh installs the build tools" >&2
    exit 1
  fi
done

cmake --preset default >/dev/null
cmake --build --preset default --target kut_cli kut_data
echo
exec build/default/bin/kut demo
