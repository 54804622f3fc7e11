#!/usr/bin/env bash
# Configures, builds and tests each named preset in turn; a summary at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
summary=()
for p in "$@"; do
  echo "=== $p"
  start=$(date +%s)
  if cmake --workflow --preset "$p"; then r=ok; else r=FAILED; status=1; fi
  summary+=("$p: $r ($(( $(date +%s) - start )) s)")
done
echo "=== summary"
printf '%s\n' "${summary[@]}"
exit $status
