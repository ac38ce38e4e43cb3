#!/usr/bin/env bash
# Runs the benchmarks of a release build (all, or those whose name contains NAME) and ends with
# their comparison lines ("ratio <comparison> <value> <meaning>"), gathered in one place.
#   bench/run.sh BUILD_DIR [NAME]
set -uo pipefail
build=$1
filter=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# Programs built from bench/*.cpp, then scripts bench/*.sh that drive external anchors.
for program in "$build"/bench/*; do
  [ -x "$program" ] && [ -f "$program" ] || continue
  name=$(basename "$program")
  [[ -z "$filter" || "$name" == *"$filter"* ]] || continue
  echo "== $name"
  "$program" 2>&1 | tee -a "$log" || status=1
done
for script in "$here"/*.sh; do
  name=$(basename "$script" .sh)
  [ "$name" = run ] && continue
  [[ -z "$filter" || "$name" == *"$filter"* ]] || continue
  echo "== $name"
  bash "$script" "$build" 2>&1 | tee -a "$log" || status=1
done
echo
echo "== comparisons"
# A benchmark's coloured table may leave an escape sequence (a colour reset) in front of the line that
# follows it: strip every escape sequence first, so that each comparison reaches the list as plain text.
sed -E $'s/\x1b\\[[0-9;]*[A-Za-z]//g' "$log" | grep -E '^ratio ' || echo "(no comparison lines)"
exit $status
