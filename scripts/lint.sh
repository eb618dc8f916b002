#!/usr/bin/env bash
# clang-tidy (checked-in .clang-tidy) and cppcheck over the whole tree.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/lint -DKUT_BUILD_TESTS=OFF -DKUT_BUILD_TOOLS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
files=$(git ls-files 'src/*.cpp' 'siblings/*.cpp' 'tools/*.cpp' | grep -v platform_win32.cpp)
echo "== clang-tidy"
echo "$files" | xargs -P 2 -n 4 clang-tidy -p build/lint --quiet 2>/dev/null
echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,portability,performance \
  --std=c++17 --inline-suppr -I include -I src \
  --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
  -D__linux__ -U_WIN32 src siblings tools
echo "lint: clean"
