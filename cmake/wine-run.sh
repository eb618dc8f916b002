#!/bin/sh
# Runs a Windows program under wine for the cross-built tests and tools.
#
#   wine-run.sh PREFIX program.exe [arguments...]
#
# PREFIX is created on first use, without any dialog (no mono or gecko
# installers: nothing of ours needs them). Concurrent callers (ctest -j)
# wait for the one that creates it. The wine server stays up for a minute
# after the last program, so that a test run does not pay its start-up for
# every test process.
#
# The program's output goes through files, not straight to our caller: the
# helper processes that wine starts with a new server (services, device
# drivers) inherit the standard handles and would keep a caller's pipe open
# until the server goes, which ctest waits for.
set -e
# KUT_WINEPREFIX, when set, replaces the prefix of the build tree, so that
# several build trees can share one (a prefix takes some 700 MB).
prefix=${KUT_WINEPREFIX:-$1}
shift
export WINEPREFIX="$prefix"
# One locale for every run, C.UTF-8 unless KUT_WINE_LC_ALL names another
# (the tests of the language choice): the language the system picks for a
# resource follows it.
export LC_ALL="${KUT_WINE_LC_ALL:-C.UTF-8}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No debugger on a crash either: a crashing test ends with its status.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d}"
WINE="${KUT_WINE:-wine}"
WINESERVER="${KUT_WINESERVER:-wineserver}"

if [ ! -f "$prefix/.kut-ready" ]; then
    mkdir -p "$prefix"
    (
        flock 9
        if [ ! -f "$prefix/.kut-ready" ]; then
            "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
            "$WINESERVER" -w
            [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: cannot create the wine prefix $prefix" >&2; exit 1; }
            touch "$prefix/.kut-ready"
        fi
    ) 9>"$prefix.lock"
fi
"$WINESERVER" -p60 </dev/null >/dev/null 2>&1 || true

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
set +e
"$WINE" "$@" >"$out" 2>"$err"
rc=$?
cat "$out"
cat "$err" >&2
exit $rc
