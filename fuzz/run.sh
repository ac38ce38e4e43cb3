#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each, starting from its kept inputs under
# fuzz/corpus/<name>/. New inputs the fuzzer finds go to build/fuzz/corpus/<name>/ (the kept set stays
# small: copy an input there by hand when it is worth keeping); crash inputs land in
# build/fuzz/findings/<name>/.
#   fuzz/run.sh BUILD_DIR [SECONDS] [NAME]
set -uo pipefail
build=$1
seconds=${2:-60}
filter=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/fuzz/*; do
  [ -x "$target" ] && [ -f "$target" ] || continue
  name=$(basename "$target")
  [[ -z "$filter" || "$name" == *"$filter"* ]] || continue
  kept="$here/corpus/$name"
  corpus="$build/corpus/$name"
  findings="$build/findings/$name"
  mkdir -p "$corpus" "$findings"
  echo "== $name: ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "$kept" \
      > "$build/findings/$name.log" 2>&1; then
    echo "   FINDING: see $build/findings/$name.log and $findings/"
    status=1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/findings/$name.log" | tail -1 | sed 's/^/   /'
done
exit $status
