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
grep -E '^ratio ' "$log" || echo "(no comparison lines)"
exit $status
