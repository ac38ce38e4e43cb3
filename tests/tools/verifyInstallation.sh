#!/usr/bin/env bash
# zrpatch --verify end to end, on a patch built by zrmake: an intact installation (exit code 0), one
# with two damaged files and one missing (each named, exit code 1), a patched one, one found with
# --game, one whose version the patch carries no list of, and one that an update left unfinished; the
# whole prefix hashes the same before and after every check, and the --json lines parse. With a
# Windows build (WINDOWS_PATCH_PROGRAM, the 64-bit zrpatch.exe), the same checks by the Windows
# program under Wine.
#   verifyInstallation.sh SOURCE_DIR LINUX_BUILD STUB WORK_DIR [WINDOWS_PATCH_PROGRAM]
set -u
source=$(cd "$1" && pwd)
windowsProgram=${5:+$(realpath -m "$5")}
. "$source/tests/tools/examplePatch.sh"
enter_work "$2" "$3" "$4"
unset XDG_DATA_HOME XDG_CONFIG_HOME
export HOME="$work/home"
mkdir -p "$HOME"

fail() {
  echo "verifyInstallation: $*" >&2
  exit 1
}
# The whole tree: every file's content and every name, links included.
tree_hash() {
  (cd "$1" && find . -print0 | sort -z | xargs -0 -n 200 sh -c 'for f; do
      if [ -L "$f" ]; then echo "L $f $(readlink "$f")"; elif [ -f "$f" ]; then sha256sum "$f"; else echo "D $f"; fi
    done' _ | sha256sum)
}
# Runs zrpatch expecting the exit code and an unchanged prefix; output in out.txt and err.txt.
verify() {
  local expected=$1 prefix=$2
  shift 2
  local before after code
  before=$(tree_hash "$prefix")
  "$zrpatch" --verify "$@" > out.txt 2> err.txt
  code=$?
  after=$(tree_hash "$prefix")
  [ "$code" = "$expected" ] || fail "zrpatch --verify $*: exit code $code, expected $expected
$(cat out.txt err.txt)"
  [ "$before" = "$after" ] || fail "zrpatch --verify $* changed the prefix $prefix"
}
expect() {  # expect FILE TEXT: the file holds the text
  grep -qF -- "$2" "$1" || fail "$1 does not say: $2
$(cat "$1")"
}
refuse() {  # refuse FILE TEXT: the file does not hold the text
  ! grep -qF -- "$2" "$1" || fail "$1 says: $2"
}
# Every line of the file is one JSON object; the last one is the result with the code.
json_lines() {
  python3 - "$1" "$2" <<'PY' || fail "the --json output does not parse: $(cat "$1")"
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
objects = [json.loads(line) for line in lines]
assert objects and all(isinstance(o, dict) and "type" in o for o in objects)
assert objects[-1] == {"type": "result", "code": int(sys.argv[2])}, objects[-1]
PY
}

example_sources
recipe zrpatch.exe 1.05 1.06 1.08 > recipe.cpp
build_patch recipe.cpp patch.exe
# A patch that knows only 1.06 and 1.08: an installed 1.05 is a version it has no list of.
recipe zrpatch.exe 1.06 1.08 > recipe-106.cpp
build_patch recipe-106.cpp patch-106.exe

prefix="$work/prefix"
game="$prefix/drive_c/Program Files (x86)/Example Game"
"$zrexample" install game/GERMAN/1.05 --prefix "$prefix" > /dev/null || fail "zrexample install"

echo "== An intact installation: exit code 0, nothing written"
verify 0 "$prefix" --prefix "$prefix" patch.exe
expect err.txt "Verifying Example Game, version 1.05..."
expect err.txt "The installation is intact: all 16 files of version 1.05"
refuse err.txt "is missing"
verify 0 "$prefix" --prefix "$prefix" --json patch.exe
json_lines out.txt 0
expect out.txt '"text":"Verifying Example Game, version 1.05..."'
[ ! -e "$game/patch.log" ] && [ ! -e patch.log ] || fail "a verification wrote patch.log"

echo "== Two damaged files and a missing one: each named, exit code 1"
printf 'X' | dd of="$game/Data/Maps/Island.map" bs=1 seek=3 conv=notrunc status=none
printf 'changed' >> "$game/Text/Strings.txt.tmp-not-listed"
printf 'a line more\n' >> "$game/readme.txt"
rm "$game/Data/Sounds/Intro.wav"
verify 1 "$prefix" --prefix "$prefix" --yes --distribution GERMAN patch.exe
cat err.txt | grep -E "missing|modified|damaged|not intact" | sed 's/^/   /'
expect err.txt 'File Data\Sounds\Intro.wav is missing.'
expect err.txt 'Data\Maps\Island.map'
expect err.txt 'readme.txt'
expect err.txt "1 missing and 2 damaged"
refuse err.txt 'Text\Strings.txt'
verify 1 "$prefix" --prefix "$prefix" --json patch.exe
json_lines out.txt 1
expect out.txt 'File Data\\Sounds\\Intro.wav is missing.'
expect out.txt 'Data\\Maps\\Island.map'
refuse out.txt '"type":"question"'

echo "== Refused like a run: a patch whose payload does not match its signed table is not trusted"
cp patch.exe forged.exe
offset=$(grep -obUa 'readme.txt.#GERMAN ' forged.exe | tail -n 1 | cut -d: -f1)
[ -n "$offset" ] || fail "no checksum line of readme.txt in the patch"
printf 'R' | dd of=forged.exe bs=1 seek="$offset" conv=notrunc status=none
verify 1 "$prefix" --prefix "$prefix" --yes forged.exe
expect err.txt "Patch file is corrupted"
refuse err.txt "Verifying"

echo "== An installed version the patch carries no list of"
verify 1 "$prefix" --prefix "$prefix" --yes patch-106.exe
expect err.txt "carries no checksum list of version 1.05"

echo "== A patched installation is checked against the list of its version"
rm -rf "$prefix"
"$zrexample" install game/GERMAN/1.05 --prefix "$prefix" > /dev/null || fail "zrexample install"
"$zrpatch" --prefix "$prefix" --yes patch.exe > /dev/null 2>&1 || fail "the patch run failed"
verify 0 "$prefix" --prefix "$prefix" patch.exe
expect err.txt "Verifying Example Game, version 1.08..."
expect err.txt "The installation is intact"

echo "== An update that did not complete: the installation is not held against one list"
printf 'zrpatch journal 1\nI\tfrom\t1.05\t.\nI\tpatch\t1.08\t.\n' > "$game/zrpatch.journal"
verify 1 "$prefix" --prefix "$prefix" --yes patch.exe
expect err.txt "An update of this installation from version 1.05 to version 1.08 did not complete"
rm "$game/zrpatch.journal"

echo "== --game: a folder the registry does not know"
cp -r game/GERMAN/1.05 "loose game"
verify 0 "$work/loose game" --prefix "$prefix" --game "loose game" patch.exe
expect err.txt "Game folder Z:"
rm "loose game/Game.exe"
verify 1 "$work/loose game" --prefix "$prefix" --game "loose game" patch.exe
expect err.txt "not installed"

wine=
if [ -f "$windowsProgram" ]; then wine=$(bash "$source/tools/wineLoader.sh" "$windowsProgram"); fi
if [ -z "$wine" ]; then
  echo "== (no Windows build or no Wine for it: the Windows program's half is skipped)"
else
  echo "== The Windows program under Wine: patch.exe --verify --json"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  recipe "$windowsProgram" 1.05 1.06 1.08 > recipe-windows.cpp
  "$zrmake" build recipe-windows.cpp -o windows.exe > make.log 2>&1 || fail "zrmake build: $(cat make.log)"
  wprefix="$work/prefix-wine"
  WINEPREFIX="$wprefix" "$wine" wineboot -i > /dev/null 2>&1
  WINEPREFIX="$wprefix" wineserver -w
  "$zrexample" install game/GERMAN/1.05 --prefix "$wprefix" > /dev/null || fail "zrexample install"
  cp windows.exe "$wprefix/drive_c/windows.exe"
  wgame="$wprefix/drive_c/Program Files (x86)/Example Game"
  # Runs the Windows program expecting the exit code and an unchanged game folder.
  wverify() {
    local expected=$1 before after code
    shift
    before=$(tree_hash "$wgame")
    WINEPREFIX="$wprefix" "$wine" 'C:\windows.exe' "$@" > out.txt 2> err.txt
    code=$?
    WINEPREFIX="$wprefix" wineserver -w
    after=$(tree_hash "$wgame")
    [ "$code" = "$expected" ] || fail "windows.exe $*: exit code $code, expected $expected
$(cat out.txt err.txt)"
    [ "$before" = "$after" ] || fail "windows.exe $* changed the game folder"
  }
  wverify 0 --verify --json
  json_lines out.txt 0
  expect out.txt "The installation is intact: all 16 files of version 1.05"
  printf 'X' | dd of="$wgame/Data/Maps/Island.map" bs=1 seek=3 conv=notrunc status=none
  printf 'a line more\n' >> "$wgame/readme.txt"
  rm "$wgame/Data/Sounds/Intro.wav"
  wverify 1 --verify --json
  json_lines out.txt 1
  expect out.txt 'File Data\\Sounds\\Intro.wav is missing.'
  expect out.txt 'Data\\Maps\\Island.map'
  expect out.txt 'readme.txt'
  expect out.txt "1 missing and 2 damaged"
fi
echo "verifyInstallation: all checks passed"
