#!/usr/bin/env bash
# Static checks over the whole tree: clang-tidy with the checked-in .clang-tidy
# on every translation unit of the Linux build (library, siblings, tools; the
# headers under include/, src/, siblings/ and tools/ through HeaderFilterRegex),
# then cppcheck on the Linux configuration and on the Windows-only code.
# Exits non-zero on any finding. LINT_JOBS sets the parallel clang-tidy runs (2).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${LINT_JOBS:-2}
build=build/lint
out=$build/lint-out
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [[ -z $tidy ]] || ! command -v cppcheck >/dev/null; then
  echo "lint: clang-tidy and cppcheck are needed (scripts/install-deps.sh installs them)" >&2
  exit 2
fi

# Tests, benchmarks and fuzzers off, tools on: the compilation database then
# lists exactly the shipped code and the tools.
cmake -S . -B "$build" -DKUT_BUILD_TESTS=OFF -DKUT_BUILD_BENCH=OFF -DKUT_BUILD_FUZZ=OFF \
  -DKUT_BUILD_TOOLS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mkdir -p "$out"
rm -f "$out"/*.txt

# platform_win32.cpp needs the Windows headers; it is in no Linux database and
# gets the cppcheck Windows pass below instead.
root=$(pwd)/
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
  grep -F "$root" | sed "s|^$root||" | grep -v 'platform_win32\.cpp$' | sort -u)
if [[ ${#units[@]} -lt 20 ]]; then
  echo "lint: $build/compile_commands.json lists only ${#units[@]} files" >&2
  exit 2
fi

status=0
echo "== clang-tidy ($("$tidy" --version | grep -o 'version [0-9.]*'), ${#units[@]} files, $jobs jobs)"
start=$SECONDS
# One file per run; each run's report goes to its own file so parallel runs
# do not interleave. A header's findings repeat for every file including it.
printf '%s\n' "${units[@]}" |
  xargs -P "$jobs" -I{} sh -c '"$1" -p "$2" --quiet "$3" >"$4/$(echo "$3" | tr / _).txt" 2>&1' \
    _ "$tidy" "$build" {} "$out" || status=1
cat "$out"/*.txt | grep -v -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
  -e '^Use -header-filter=' > "$out/tidy.log" || true
findings=$(grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error):' "$out/tidy.log" | sort -u || true)
if [[ -n $findings ]]; then
  echo "$findings"
  echo "clang-tidy: $(echo "$findings" | wc -l) findings (details: $out/tidy.log)"
  status=1
elif [[ $status -ne 0 ]]; then
  cat "$out/tidy.log"
  echo "clang-tidy failed without a finding (configuration or compile error above)"
fi
echo "   $((SECONDS - start)) s"

echo "== cppcheck ($(cppcheck --version))"
start=$SECONDS
common=(--quiet --error-exitcode=1 --enable=warning,portability,performance --std=c++17
        --inline-suppr --suppress=missingIncludeSystem --suppress=unmatchedSuppression)
# The Linux configuration, with the build's own include paths and definitions.
cppcheck "${common[@]}" -j "$jobs" --project="$build/compile_commands.json" || status=1
# The Windows-only branches (#if defined(_WIN32)), which no Linux build compiles.
mapfile -t winfiles < <({ echo src/platform/platform_win32.cpp;
  grep -rl --include='*.cpp' -e '_WIN32' src siblings tools; } | sort -u)
cppcheck "${common[@]}" -j "$jobs" -D_WIN32 -D__MINGW32__ --platform=win64 --library=windows \
  -I include -I src -I siblings -I tools/lib "${winfiles[@]}" || status=1
echo "   $((SECONDS - start)) s"

if [[ $status -ne 0 ]]; then
  echo "lint: FAILED"
  exit 1
fi
echo "lint: clean"
