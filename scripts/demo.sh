#!/usr/bin/env bash
# make demo: builds velgarde and what the demo needs (native toolchain only),
# sharpens the built-in test picture at the default settings and writes
# before, after and a side-by-side comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset demo >/dev/null
cmake --build --preset demo --target velgarde velgarde_demo

bin=build/demo
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
