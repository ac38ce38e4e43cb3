#!/usr/bin/env bash
# The Windows program's dialogs on a real screen: a virtual X server, the GUI unit tests and the probe
# program (tests/gui/probe) under Wine, answered with keys as a user would, with screenshots of every
# stage in the neutral language and in German.
#
#   onScreen.sh PROBE.exe GUITESTS.exe OUTPUT_DIR [WINE]
#
# Screenshots (PNG) and the probe's reports are left in OUTPUT_DIR. Exit code 0 when every case ended
# as expected, 1 otherwise, 77 (skipped) when Xvfb, xdotool, ImageMagick's import or Wine is missing.
set -u
probe=$1 unit=$2 out=$3 wine=${4:-wine}
[ -n "$wine" ] || wine=wine

for program in "$probe" "$unit"; do
  [ -f "$program" ] || { echo "onScreen: $program is missing"; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.report "$out"/*.log
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# A prefix of its own (made on first use, then kept): the frame setting below stays out of other tests'
# prefixes, and stopping its wineserver at the end stops nothing else.
export WINEPREFIX=${ZR_GUI_WINEPREFIX:-$out/../gui-wineprefix}
mkdir -p "$WINEPREFIX"

. "$(dirname "$0")/screen.sh"

# animation_moves CASE: the clip's area of the centred progress window differs between two moments.
animation_moves() {
  local area=200x50+412+280 first="$out/$1-animation-a.png" second="$out/$1-animation-b.png" differing
  import -window root -crop "$area" "$first"
  sleep 0.4
  import -window root -crop "$area" "$second"
  differing=$(compare -metric AE "$first" "$second" null: 2>&1)
  [ "${differing%% *}" != 0 ] || fail "$1: the animation does not move"
}

report_has() {  # report_has CASE LINE
  tr -d '\r' < "$out/$1.report" 2>/dev/null | grep -qx "$2" || fail "$1: the report lacks '$2' ($(tr '\n' '|' < "$out/$1.report" 2>/dev/null))"
}

start_probe() {  # start_probe CASE LOCALE [ENV...]
  local name=$1 locale=$2; shift 2
  env LANG="$locale" LC_ALL="$locale" ZR_GUI_PROBE_REPORT="$(windows_path "$out/$name.report")" "$@" \
    "$wine" "$probe" >"$out/$name.log" 2>&1 &
  program_pid=$!
}

box='^Corvanth Patch$'
progress='^Corvanth: '
choice='^Select the distribution$'

# There is no window manager on the virtual screen: Wine draws the captions and frames itself.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$out/reg.log" 2>&1 ||
  echo "onScreen: could not ask Wine to draw the window frames (see $out/reg.log)"

# The GUI unit tests need the screen too.
if ! "$wine" "$unit" --gtest_brief=1 >"$out/unit.log" 2>&1; then
  fail "GUI unit tests (see $out/unit.log)"
  tail -30 "$out/unit.log"
fi

# No rights: message 28 and exit code 4, no window.
start_probe rights C ZR_GUI_PROBE_NO_RIGHTS=1
if id=$(expect_window rights 1-box "$box"); then answer "$id" Return; fi
finish rights 4

run_language() {  # run_language SUFFIX LOCALE EXPECTED_LANGUAGE
  local s=$1 locale=$2 language=$3 id

  # The start question answered No: exit code 10 and no window.
  start_probe "declined$s" "$locale"
  if id=$(expect_window "declined$s" 1-start "$box"); then answer "$id" Tab space; fi
  finish "declined$s" 10
  report_has "declined$s" "start no"
  report_has "declined$s" "language $language"

  # Yes; progress; Abort: the error stays in the log and the window waits for OK.
  start_probe "abort$s" "$locale"
  if id=$(expect_window "abort$s" 1-start "$box"); then answer "$id" Return; fi
  expect_window "abort$s" 2-progress "$progress" >/dev/null && animation_moves "abort$s"
  if id=$(expect_window "abort$s" 3-question "$box"); then answer "$id" space; fi
  if id=$(wait_window "$progress" 10); then
    sleep 0.5
    shoot "abort$s-4-kept-open"
    keys "$id" Return
  else
    fail "abort$s: the window did not stay open"
  fi
  finish "abort$s" 1
  report_has "abort$s" "question abort"

  # Retry shows the question again; Ignore; the distribution dialog cancelled: exit code 1, no window.
  start_probe "cancel$s" "$locale"
  if id=$(expect_window "cancel$s" 1-start "$box"); then answer "$id" Return; fi
  if id=$(expect_window "cancel$s" 2-question "$box"); then answer "$id" Tab space; fi
  if id=$(expect_window "cancel$s" 3-question-again "$box"); then answer "$id" Tab Tab space; fi
  if id=$(expect_window "cancel$s" 4-distribution "$choice"); then answer "$id" Escape; fi
  finish "cancel$s" 1
  report_has "cancel$s" "question ignore"
  report_has "cancel$s" "distribution cancelled"

  # Ignore, the second distribution chosen: the final window with a full bar until OK, exit code 0.
  start_probe "success$s" "$locale"
  if id=$(expect_window "success$s" 1-start "$box"); then answer "$id" Return; fi
  if id=$(expect_window "success$s" 2-question "$box"); then answer "$id" Tab Tab space; fi
  if id=$(expect_window "success$s" 3-distribution "$choice"); then answer "$id" Down Return; fi
  if id=$(wait_window "$progress" 10); then
    sleep 0.5
    shoot "success$s-4-final"
    keys "$id" Return
  else
    fail "success$s: no final window"
  fi
  finish "success$s" 0
  report_has "success$s" "distribution de"
  report_has "success$s" "done"
}

run_language "" en_US.UTF-8 1033
run_language "-de" de_DE.UTF-8 1031

echo "onScreen: screenshots in $out"
[ "$failures" -eq 0 ] && echo "onScreen: all cases passed"
[ "$failures" -eq 0 ]
