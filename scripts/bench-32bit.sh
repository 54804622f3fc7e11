#!/usr/bin/env bash
# The one-thread rows (velgarde_one_thread) of the 64-bit and the 32-bit
# builds, run in turns so that both see the same machine, and each set's
# 32-bit time over its 64-bit time (median of the turns). The 32-bit
# program runs directly where this machine runs 32-bit x86 code; elsewhere
# the comparison is skipped, and says so.
# BENCH_TURNS sets the turns (default 5), BENCH_ROUNDS the rounds per run (20).
set -euo pipefail
cd "$(dirname "$0")/.."
turns=${BENCH_TURNS:-5}
rounds=${BENCH_ROUNDS:-20}
cmake --preset native >/dev/null
cmake --build --preset native --target velgarde_one_thread >/dev/null
if ! why=$(bash scripts/can-run-32bit.sh); then
  echo "=================================================================="
  echo "SKIPPED: the 32-bit benchmark: $why"
  echo "=================================================================="
  exit 0
fi
cmake --preset linux32 >/dev/null
cmake --build --preset linux32 --target velgarde_one_thread >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for turn in $(seq "$turns"); do
  build/native/velgarde_one_thread "$rounds" >"$out/64.$turn"
  build/linux32/velgarde_one_thread "$rounds" >"$out/32.$turn"
done
cat "$out/64.1" "$out/32.1"
python3 - "$out" "$turns" <<'PY'
import re, statistics, sys
folder, turns = sys.argv[1], int(sys.argv[2])
def rows(bits):
    table = {}
    for t in range(1, turns + 1):
        for line in open(f"{folder}/{bits}.{t}"):
            row = line.split(",")[0].split(" (")[0] + " " + line.split("(")[1].split(")")[0]
            for name, ms in re.findall(r"\| (\w+) ([0-9.]+) ms", line):
                table.setdefault(row, {}).setdefault(name, []).append(float(ms))
    return table
wide, narrow = rows(64), rows(32)
print(f"32-bit time over 64-bit time, per set (median of {turns} turns each):")
for row, sets in wide.items():
    cells = [f"{name} {statistics.median(narrow[row][name]) / statistics.median(ms):.2f}"
             for name, ms in sets.items() if name in narrow.get(row, {})]
    print(f"  {row}: " + ", ".join(cells))
PY
