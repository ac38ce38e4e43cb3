#!/usr/bin/env bash
# A real patch executable on a real screen: the Windows program under Wine applies the example game's
# patch, answered with keys as a player would: the start question, the progress window during the
# steps, the final window with the success line until OK; then a failing run (an installation already
# at 1.08 with a damaged file, the question answered Abort) whose window stays open with the error;
# then unattended runs (--yes) that fail in several ways and end by themselves, nothing asked.
#
#   patchOnScreen.sh PATCH.exe ZREXAMPLE GAME_DIR OUTPUT_DIR [WINE]
#
# GAME_DIR is what `zrexample make` wrote (the patch was built from it). Screenshots (PNG) and the
# programs' logs are left in OUTPUT_DIR. Exit code 0 when every case ended as expected, 1 otherwise,
# 77 (skipped) when Xvfb, xdotool, ImageMagick's import or Wine is missing.
set -u
patch=$1 zrexample=$2 game=$3 out=$4 wine=${5:-}
[ -n "$wine" ] || wine=$(bash "$(dirname "$0")/../../tools/wineLoader.sh" "$patch")
[ -n "$wine" ] || wine=wine

[ -f "$patch" ] || { echo "onScreen: $patch is missing"; exit 1; }
rm -rf "$out"
mkdir -p "$out"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=$out/prefix

. "$(dirname "$0")/screen.sh"

# A prefix as Wine makes it, its window frames drawn by Wine (there is no window manager).
"$wine" wineboot -i >"$out/wineboot.log" 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$out/reg.log" 2>&1
cp "$patch" "$WINEPREFIX/drive_c/patch.exe"

# install TREE: the game installed as its installer would (the registry needs the wineserver stopped).
install() {
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  "$zrexample" install "$1" --prefix "$WINEPREFIX" >>"$out/install.log" 2>&1 || fail "cannot install $1"
}

start_patch() {  # start_patch CASE [PROGRAM [ARGUMENTS...]]
  local name=$1 program=${2:-'C:\patch.exe'}
  shift $(($# < 2 ? $# : 2))
  # C.UTF-8 is a locale every machine has: Wine decodes the game's UTF-8 file names with it.
  LANG=C.UTF-8 LC_ALL=C.UTF-8 "$wine" "$program" "$@" >"$out/$name.log" 2>&1 &
  program_pid=$!
}

box='^Example Game Patch$'
progress='^Example Game: '
installed="$WINEPREFIX/drive_c/Program Files (x86)/Example Game"

# Success: Yes, the progress window while the steps run, the final window with a full bar until OK.
install "$game/GERMAN/1.05"
start_patch success
if id=$(expect_window success 1-start "$box"); then answer "$id" Return; fi
if id=$(wait_window "$progress" 30); then
  shoot success-2-progress
  # The final window: the run has written the uninstall log and waits for OK.
  for _ in $(seq 600); do [ -f "$installed/uninstall.log" ] && break; sleep 0.1; done
  sleep 1
  shoot success-3-final
  kill -0 "$program_pid" 2>/dev/null || fail "success: the final window did not wait for OK"
  keys "$id" Return
else
  fail "success: no progress window"
fi
finish success 0
"$zrexample" compare "$game/GERMAN/1.08" "$installed" --extra uninstall.log '*.lnk' >"$out/success.diff" 2>&1 ||
  fail "success: the installation differs from 1.08 (see $out/success.diff)"

# Failure: 1.08 installed with a damaged file; the patch verifies, the player answers Abort, and the
# window stays open with the error and the phase until OK.
install "$game/GERMAN/1.08"
printf 'damaged' >"$installed/Data/Maps/Island.map"
start_patch failure
if id=$(expect_window failure 1-start "$box"); then answer "$id" Return; fi
if id=$(expect_window failure 2-question "$box"); then answer "$id" space; fi
if id=$(wait_window "$progress" 10); then
  sleep 1
  shoot failure-3-kept-open
  kill -0 "$program_pid" 2>/dev/null || fail "failure: the window did not stay open"
  keys "$id" Return
else
  fail "failure: the window did not stay open"
fi
finish failure 1

# Unattended (--yes): whatever goes wrong, no box waits for a person. Each run ends by itself with exit
# code 1 and the reason in its log file: a damaged file (the Abort/Retry/Ignore question), a mistake on
# the command line and a corrupted patch (error boxes).
unattended() {  # unattended CASE EXPECTED_LOG_TEXT PROGRAM ARGUMENTS...
  local name=$1 expected=$2
  shift 2
  rm -f "$WINEPREFIX/drive_c/unattended.log"
  start_patch "$name" "$@"
  finish "$name" 1
  shoot "$name-end"
  grep -qF -- "$expected" "$WINEPREFIX/drive_c/unattended.log" "$out/$name.log" 2>/dev/null ||
    fail "$name: '$expected' is in neither the log file nor the output"
  cp "$WINEPREFIX/drive_c/unattended.log" "$out/$name-unattended.log" 2>/dev/null
}
install "$game/GERMAN/1.08"
printf 'damaged' >"$installed/Data/Maps/Island.map"
unattended unattended-damaged "answer: Abort" 'C:\patch.exe' --yes --log 'C:\unattended.log'
tr -d '\r' <"$WINEPREFIX/drive_c/unattended.log" | grep -A1 "Error found in file Data.Maps.Island.map" | grep -qx "answer: Abort" ||
  fail "unattended-damaged: the log file does not name the damaged file with its answer"
unattended unattended-option "error: unknown option --bogus" 'C:\patch.exe' --yes --log 'C:\unattended.log' --bogus
cp "$patch" "$WINEPREFIX/drive_c/tampered.exe"
offset=$(grep -obUa displayName "$WINEPREFIX/drive_c/tampered.exe" | tail -n 1 | cut -d: -f1)
printf 'D' | dd of="$WINEPREFIX/drive_c/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
unattended unattended-corrupted "Patch file is corrupted" 'C:\tampered.exe' --yes --log 'C:\unattended.log'

echo "onScreen: screenshots in $out"
[ "$failures" -eq 0 ] && echo "onScreen: all cases passed"
[ "$failures" -eq 0 ]
