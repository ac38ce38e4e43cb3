#!/usr/bin/env bash
# The built-in example: what a patch does to one installed file, and the manifest a publisher writes,
# run with the project's own tools from a Linux build.
#   tools/demo.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work="$build/demo"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

echo "== 1. A version step for one game file"
# Version 1.05 of a game archive: 4 MiB of text-like and binary records, made the same way every run.
awk 'BEGIN { srand(105); for (i = 0; i < 60000; i++) printf "record %06d level=%d name=unit_%x\n", i, int(rand()*90), int(rand()*1e9) }' > Data.pak
head -c 1500000 /dev/zero | tr '\0' '\7' >> Data.pak
# Version 1.06 changes some records, drops a block and inserts new ones.
awk 'BEGIN { srand(106) } NR % 97 == 0 { sub(/level=[0-9]+/, "level=" int(rand()*100)) }
     NR < 20000 || NR > 21000 { print }
     NR == 30000 { for (i = 0; i < 3000; i++) printf "added %d seed=%x\n", i, int(rand()*1e9) }' Data.pak > Data.pak.new
echo "   installed file: $(stat -c %s Data.pak) bytes; the new version: $(stat -c %s Data.pak.new) bytes"

# The publisher's side encodes the delta with the external tool and the patch's options.
xdelta3 -e -f -I 262144 -W 1048576 -B 268435456 -s Data.pak Data.pak.new Data.pak.delta
echo "   delta made by the authoring tool: $(stat -c %s Data.pak.delta) bytes"

# The player's side rebuilds the file with the linked decoder, given the delta tool's command line.
"$build/tools/zrvcdiff" -f -d -s Data.pak Data.pak.delta Data.pak.rebuilt
cmp Data.pak.rebuilt Data.pak.new
echo "   zrvcdiff rebuilt the new version byte for byte"

# A damaged delta is refused and leaves no output behind.
head -c $(( $(stat -c %s Data.pak.delta) / 2 )) Data.pak.delta > Damaged.delta
if "$build/tools/zrvcdiff" -f -d -s Data.pak Damaged.delta Damaged.out 2> damaged.err; then
  echo "   a damaged delta was accepted" >&2
  exit 1
fi
[ ! -e Damaged.out ]
echo "   a truncated delta is refused: $(head -n 1 damaged.err)"

if [ -x "$here/demo-config.sh" ]; then
  bash "$here/demo-config.sh" "$build" "$work"
fi
echo "== demo finished in $work"
