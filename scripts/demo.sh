#!/usr/bin/env bash
# make demo: builds velgarde and what the demo needs (native toolchain only)
# into build/native, where the README's examples find them, sharpens the
# built-in test picture at the default settings and writes before, after
# and a side-by-side comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
# With only make deps-demo's packages there is no GoogleTest: a first
# configure leaves the tests out; make and make test configure them in.
if [ ! -f build/native/CMakeCache.txt ]; then
  cmake --preset native -DVELGARDE_TESTS=OFF -DVELGARDE_BENCH=OFF >/dev/null
fi
cmake --build --preset native --target velgarde velgarde_demo

bin=build/native
out=out/demo
mkdir -p "$out"
"$bin/velgarde_demo" scene "$out/before.png"
command=("$bin/velgarde" "$out/before.png" "$out/after.png")
"${command[@]}"
"$bin/velgarde_demo" compare "$out/before.png" "$out/after.png" "$out/compare.png"

echo
echo "command:  ${command[*]}"
echo "before:   $out/before.png"
echo "after:    $out/after.png"
echo "compare:  $out/compare.png (before | after | change, magnified crop below)"
