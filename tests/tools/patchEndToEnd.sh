#!/usr/bin/env bash
# The demo as a test: the patch built around the Windows program of the build beside this Linux one
# (the 32-bit product where Wine runs 32-bit programs here, else the 64-bit build), applied by both
# programs. Exit code 77 (skipped) when neither Windows build is there.
#   patchEndToEnd.sh SOURCE_DIR LINUX_BUILD WORK_DIR
set -u
source=$1 linux=$2 work=$3
windows=
if [ -f "$linux/../windows/src/zrpatch.exe" ] && WINEDEBUG=-all wine cmd /c exit 0 >/dev/null 2>&1; then
  windows=$linux/../windows
elif [ -f "$linux/../windows64/src/zrpatch.exe" ]; then
  windows=$linux/../windows64
elif [ -f "$linux/../windows/src/zrpatch.exe" ]; then
  windows=$linux/../windows
fi
[ -n "$windows" ] || { echo "patchEndToEnd: skipped, no Windows build beside $linux"; exit 77; }
exec bash "$source/tools/demo.sh" "$linux" "$windows" "$work"
