#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the Linux build,
# the sanitizer builds (ThreadSanitizer for the thread stress test) and the
# Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== Linux: test preset"
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test

echo "== Linux: asan preset (AddressSanitizer + UndefinedBehaviorSanitizer, leak check)"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

echo "== Linux: tsan preset (ThreadSanitizer, the thread stress test)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target test_threads
ctest --preset tsan -R '^Threads\.'

# ---- build options -------------------------------------------------------------
# Each option away from the presets configured and built once (no tests run):
# the tools off with the tests on, neither tests nor tools, the benchmarks
# on. Throwaway folders under build/options, the library built once per
# combination and only the targets the option brings in.
echo "== Linux: build options, configure and build"
scripts/build-options.sh

# ---- Windows -------------------------------------------------------------------
# kut.dll, kbase.dll, kopts.dll, the tools and the tests cross-built with
# mingw-w64; every test runs under wine (cmake/wine-run.sh keeps the wine
# prefix in build/windows/wineprefix). GoogleTest is built once for this
# target and kept in build/windows. A test that fails under wine is run once
# more before it counts: wine's start-up now and then loses a child process
# (exit 9009 from its command interpreter), which says nothing about kut.
echo "== Windows: windows preset (mingw-w64, tests under wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

# ---- fuzzing (hardening) -----------------------------------------------------
# Every fuzz target for 30 s on its seed corpus (clang, ASan+UBSan). Longer:
# scripts/fuzz.sh 600 [name].
echo "== Linux: fuzz preset, 30 s per target"
scripts/fuzz.sh 30

# ---- static checks -----------------------------------------------------------
# clang-tidy (.clang-tidy: bugprone, cert, performance, portability) and
# cppcheck over the library, the siblings and the tools; any finding fails.
echo "== static checks: clang-tidy and cppcheck"
scripts/lint.sh
