#!/usr/bin/env bash
# zrmake diff on all processor cores against the same diff on one (-j 1), on a generated pair of trees
# of ZR_BENCH_DIFF_MIB MiB (default 1024) in ZR_BENCH_DIFF_FILES files (default 300), every file
# changed in a few places, so that every file is encoded by the xdelta3 tool. Serial and parallel runs
# alternate; each starts from an empty payload folder and a synced page cache.
#   bench/diffParallel.sh BUILD_DIR
set -euo pipefail
build=$1
zrmake=$build/tools/zrmake
mib=${ZR_BENCH_DIFF_MIB:-1024}
files=${ZR_BENCH_DIFF_FILES:-300}
rounds=${ZR_BENCH_DIFF_ROUNDS:-2}
command -v xdelta3 > /dev/null || { echo "diffParallel: xdelta3 is not installed; skipped"; exit 0; }
[ -x "$zrmake" ] || { echo "diffParallel: $zrmake is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)

python3 - "$work" "$mib" "$files" <<'PY'
import os, random, sys
work, mib, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1505)
size = mib * 1024 * 1024 // files
for i in range(files):
    folder = 'data%02d' % (i % 12)
    old = os.urandom(size)
    new = bytearray(old)
    for _ in range(4):  # changed stretches
        at = rng.randrange(size - 8192)
        new[at:at + 4096] = os.urandom(4096)
    for tree, data in (('old', old), ('new', bytes(new))):
        os.makedirs(os.path.join(work, tree, folder), exist_ok=True)
        with open(os.path.join(work, tree, folder, 'file%03d.pak' % i), 'wb') as f:
            f.write(data)
PY
echo "diffParallel: $files files, $mib MiB per tree, $cores cores, $rounds rounds"

serial=0
parallel=0
for round in $(seq 1 "$rounds"); do
  for jobs in 1 "$cores"; do
    rm -rf "$work/payload"
    sync
    start=$(date +%s.%N)
    "$zrmake" diff "$work/old" "$work/new" --from 1.05 --to 1.06 -o "$work/payload" -j "$jobs" > "$work/report"
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    deltas=$(find "$work/payload" -name '*.upd' | wc -l)
    [ "$deltas" -eq "$files" ] || { echo "diffParallel: $deltas deltas, expected $files" >&2; exit 1; }
    echo "diffParallel: round $round, -j $jobs: $seconds s"
    if [ "$jobs" -eq 1 ]; then serial=$(echo "$serial + $seconds" | bc); else parallel=$(echo "$parallel + $seconds" | bc); fi
  done
done
ratio=$(echo "scale=2; $serial / $parallel" | bc)
echo "ratio diff-parallel-vs-serial $ratio serial wall time / wall time on $cores cores (goal: $(echo "scale=2; 0.8 * $cores" | bc))"
