#!/usr/bin/env bash
# A whole patch run against the way the patch was specified, on the example game scaled up: versions
# 1.05, 1.06, 1.07 and 1.08 of ZR_BENCH_PATCH_MIB MiB of map data (default 2400: 2 GiB installed),
# three steps. Ours: zrpatch applies the patch to a prefix (verification, steps, journal, every file
# made durable, registry, links, uninstall log). The specified way: every entry extracted to a file,
# the installation read once to verify it, then for each step the delta tool run as a process per
# changed file, every written file read back to verify it, and renamed into place. Each round starts
# from a fresh copy of 1.05; the rounds alternate. The same payload is also packed without its signed
# payload table (the original format, a 1024-bit key) and applied with --allow-unsigned-payload, to
# measure what checking every entry's digest costs. The floor of a run is copying the new version's
# tree with cp -r, followed by sync as ours is (each round from the same fresh 1.05). Prints the
# times, ours' peak memory and
#   ratio patch-vs-process-per-file <their time / ours>
#   ratio run-with-digests-vs-without <time without the table / time with it>
#   ratio patch-vs-copy-sync <time of cp -r of the new tree and sync / ours>
#   bench/patchRun.sh BUILD_DIR   (a build with zrpatch, zrmake and zrexample; the patch program's
#                                  Windows build is taken from ../windows or ../windows64 beside it)
set -euo pipefail
build=$(cd "$1" && pwd)
mib=${ZR_BENCH_PATCH_MIB:-2400}
rounds=${ZR_BENCH_PATCH_ROUNDS:-2}
# 0 leaves out the process-per-file anchor (it takes minutes per round) and measures only zrpatch.
with_anchor=${ZR_BENCH_PATCH_ANCHOR:-1}
work=${ZR_BENCH_PATCH_DIR:-/tmp/zr-patch-bench}
stub=
for candidate in "$build/../windows/src/zrpatch.exe" "$build/../windows64/src/zrpatch.exe"; do
  [ -f "$candidate" ] && { stub=$(realpath "$candidate"); break; }
done
if [ -z "$stub" ] || ! command -v xdelta3 > /dev/null; then
  echo "patchRun: skipped (needs a Windows build of zrpatch beside $build, and xdelta3)"
  exit 0
fi
mkdir -p "$work"
cd "$work"

# The trees and the patch are made once and kept for later runs of the same size.
if [ ! -f "patch-$mib.exe" ]; then
  rm -rf game payload*
  echo "patchRun: making the example game at $mib MiB and its patch (once)"
  "$build/tools/zrexample" make game --scale "$mib" --with-1.07 --only GERMAN > /dev/null
  [ -f publisher.pem ] || "$build/tools/zrmake" keygen -o publisher.pem > /dev/null
  cat > recipe.cpp << EOF
manifest = "game/manifest.cfg";
key = "publisher.pem";
patchProgram = "$stub";
class Versions
{
  class v105 { version = "1.05"; tree = "game/GERMAN/1.05"; };
  class v106 { version = "1.06"; tree = "game/GERMAN/1.06"; };
  class v107 { version = "1.07"; tree = "game/GERMAN/1.07"; };
  class v108 { version = "1.08"; tree = "game/GERMAN/1.08"; };
};
EOF
  "$build/tools/zrmake" build recipe.cpp -o "patch-$mib.exe" > build.log 2>&1 || { cat build.log; exit 1; }
fi
if [ ! -f "patch-$mib-unsigned.exe" ]; then
  [ -f manifest-only.pem ] || "$build/tools/zrmake" keygen --bits 1024 -o manifest-only.pem > /dev/null
  "$build/tools/zrmake" pack "$stub" "patch-$mib.exe.payload" game/manifest.cfg -o "patch-$mib-unsigned.exe" \
    --key manifest-only.pem --without-payload-table > pack.log 2>&1 || { cat pack.log; exit 1; }
fi
installed="prefix/drive_c/Program Files (x86)/Example Game"
echo "patchRun: $(du -sm game/GERMAN/1.05 | cut -f1) MiB installed, patch $(du -sm "patch-$mib.exe" | cut -f1) MiB"

fresh() {
  rm -rf prefix
  "$build/tools/zrexample" install game/GERMAN/1.05 --prefix prefix > /dev/null
  sync
}

now() { date +%s.%N; }

ours() {  # ours [PATCH [OPTION]]
  fresh
  local start end
  start=$(now)
  /usr/bin/time -f "%M" -o ours.rss "$build/src/zrpatch" --prefix prefix --yes ${2:-} "${1:-patch-$mib.exe}" > ours.log 2>&1
  sync
  end=$(now)
  "$build/tools/zrexample" compare game/GERMAN/1.08 "$installed" --extra uninstall.log '*.lnk' > /dev/null
  echo "$end - $start" | bc
}

# The installed file an entry names ("DATA/MAPS/ISLAND.MAP"), found without regard to case.
target_of() {
  local found
  found=$(find "$installed" -ipath "$installed/$1" -print -quit)
  echo "${found:-$installed/$1}"
}

theirs() {
  fresh
  local start end entry relative name target
  start=$(now)
  rm -rf entries
  "$build/tools/zrmake" inspect "patch-$mib.exe" --extract entries -q > /dev/null
  find "$installed" -type f -exec cat {} + > /dev/null  # the verification before updating
  for step in 1.05-1.06 1.06-1.07 1.07-1.08; do
    while IFS= read -r entry; do
      relative=${entry#entries/$step/}
      name=${relative%.#GERMAN}
      target=$(target_of "${name%.*}")
      case "$name" in
        *.UPD)
          xdelta3 -d -f -s "$target" "$entry" "$target.tmp"
          cat "$target.tmp" > /dev/null
          mv -f "$target.tmp" "$target" ;;
        *.NEW)
          mkdir -p "$(dirname "$target")"
          cp "$entry" "$target.tmp"
          cat "$target.tmp" > /dev/null
          mv -f "$target.tmp" "$target" ;;
        *.DEL) rm -f "$target" ;;
      esac
    done < <(find "entries/$step" -type f ! -name '*.#ENGLISH' | sort)
  done
  sync
  end=$(now)
  "$build/tools/zrexample" compare game/GERMAN/1.08 "$installed" --extra uninstall.log '*.lnk' > /dev/null
  echo "$end - $start" | bc
}

# The new version copied beside the installation, and made durable: what writing the whole tree costs.
copy_sync() {
  fresh
  local start end
  start=$(now)
  cp -r game/GERMAN/1.08 prefix/copy-1.08
  sync
  end=$(now)
  echo "$end - $start" | bc
}

total_ours=0 total_theirs=0 total_unsigned=0 total_copy=0
for round in $(seq "$rounds"); do
  t=$(ours)
  echo "patchRun: round $round: zrpatch ${t}s (peak $(( $(cat ours.rss) / 1024 )) MiB resident)"
  total_ours=$(echo "$total_ours + $t" | bc)
  if [ "$with_anchor" != 0 ]; then
    t=$(theirs)
    echo "patchRun: round $round: process per file ${t}s"
    total_theirs=$(echo "$total_theirs + $t" | bc)
  fi
  t=$(ours "patch-$mib-unsigned.exe" --allow-unsigned-payload)
  echo "patchRun: round $round: zrpatch without the payload table ${t}s"
  total_unsigned=$(echo "$total_unsigned + $t" | bc)
  t=$(copy_sync)
  echo "patchRun: round $round: cp -r of the new tree and sync ${t}s"
  total_copy=$(echo "$total_copy + $t" | bc)
done
if [ "$with_anchor" != 0 ]; then
  ratio=$(printf "%.2f" "$(echo "scale=4; $total_theirs / $total_ours" | bc)")
  echo "ratio patch-vs-process-per-file $ratio (process per file ${total_theirs}s / zrpatch ${total_ours}s over $rounds rounds; goal 2)"
fi
ratio=$(printf "%.2f" "$(echo "scale=4; $total_unsigned / $total_ours" | bc)")
echo "ratio run-with-digests-vs-without $ratio (without the payload table ${total_unsigned}s / with it ${total_ours}s over $rounds rounds; goal 0.9)"
ratio=$(printf "%.2f" "$(echo "scale=4; $total_copy / $total_ours" | bc)")
echo "ratio patch-vs-copy-sync $ratio (cp -r of the new tree and sync ${total_copy}s / zrpatch ${total_ours}s over $rounds rounds; goal 0.67)"
