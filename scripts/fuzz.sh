#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each one for a
# bounded time on a copy of its seed corpus.
#   scripts/fuzz.sh            30 s per target (what CI runs)
#   scripts/fuzz.sh 600        10 minutes per target
#   scripts/fuzz.sh 600 pe_reader   one target
#   KUT_FUZZ_NO_BUILD=1 scripts/fuzz.sh 600 img   skip the build (runs in
#                                   parallel share one build)
# An input that runs for a minute counts as a hang (a generous bound: on a
# loaded machine a fast input can stall for many seconds).
# A crash stops the script with the fuzzer's exit status; the crashing input
# is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
only=${2:-}
if [ -z "${KUT_FUZZ_NO_BUILD:-}" ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
fi
mkdir -p build/fuzz/artifacts build/fuzz/work
for exe in build/fuzz/bin/fuzz_*; do
  name=${exe##*/fuzz_}
  [ -n "$only" ] && [ "$name" != "$only" ] && continue
  work=build/fuzz/work/$name
  rm -rf "$work" && mkdir -p "$work"
  [ -d fuzz/corpus/$name ] && cp -r fuzz/corpus/$name/. "$work"/
  dict=()
  [ -f fuzz/$name.dict ] && dict=(-dict=fuzz/$name.dict)
  echo "== fuzz_$name for ${secs}s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  "$exe" "$work" "${dict[@]}" -max_total_time="$secs" -timeout=60 -rss_limit_mb=2048 \
    -artifact_prefix=build/fuzz/artifacts/$name- -print_final_stats=1 2> build/fuzz/$name.log \
    || { tail -n 60 build/fuzz/$name.log; exit 1; }
  grep -a -E '^#[0-9]+.*DONE|stat::number_of_executed_units|cov:' build/fuzz/$name.log | tail -n 2
done
