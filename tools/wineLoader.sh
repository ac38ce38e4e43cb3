#!/usr/bin/env bash
# Prints the Wine loader that runs a Windows program: wine64 for a 64-bit program (Debian keeps it in
# /usr/lib/wine, off the PATH), wine for a 32-bit one; nothing when it is not installed.
#   tools/wineLoader.sh PROGRAM.exe
set -u
header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
if [ "$machine" = 8664 ]; then
  command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true
else
  command -v wine || true
fi
