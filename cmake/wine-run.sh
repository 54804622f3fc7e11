#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine with a prefix private to the build
# folder (the current directory when ctest runs). The first run creates the
# prefix (about two minutes); a lock keeps parallel tests from racing on it.
# ctest starts one program per test case. Wine's own processes (its services
# and device drivers) start with a new wine server and live as long as it;
# started by a test, they would hold the test's output open, and ctest waits
# for that until they end. So a new server is started here, kept a minute
# past the last program (sparing every case the start of those processes,
# seconds each), and booted with nothing of the test's attached.
set -euo pipefail
dir=$(pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
export WINEPREFIX="$dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
exec 9>"$dir/.wineprefix.lock"
flock 9
if [ ! -f "$WINEPREFIX/.ready" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
    touch "$WINEPREFIX/.ready"
fi
if /usr/lib/wine/wineserver -p60 </dev/null >/dev/null 2>&1; then  # fails if one is running
    "$wine" wineboot </dev/null >/dev/null 2>&1 || true
fi
flock -u 9
exec "$wine" "$@"
