#!/usr/bin/env bash
# Runs a 32-bit Windows program under 32-bit wine with a 32-bit prefix private
# to the build folder (the current directory when ctest runs). The first run
# creates the prefix (some 10 s); a lock keeps parallel tests from racing on it.
# ctest starts one program per test case. As in cmake/wine-run.sh (the 64-bit
# runner), one wine server is kept alive for the build folder, a minute past
# the last program, so that each case does not start wine's services anew;
# it is booted with nothing of the test's attached, since the services it
# starts would hold the test's output open and ctest would wait for them.
set -euo pipefail
dir=$(pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(pwd)
export WINEPREFIX="$dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine
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
