#!/usr/bin/env bash
# zrpatch refusing what it must refuse before its first change, each with its real cause: a wineserver
# serving the prefix (a real one, started with -p), a registry file that cannot be written, a second
# run while one holds the installation, a prefix without system.reg, a folder or a text given as the
# patch, a distribution the patch does not have. The whole prefix is hashed before and after each.
# The patch is built by zrmake around a stand-in for the Windows program.
#   runRefusals.sh SOURCE_DIR LINUX_BUILD STUB WORK_DIR
set -u
. "$1/tests/tools/examplePatch.sh"
enter_work "$2" "$3" "$4"

fail() {
  echo "runRefusals: $*" >&2
  exit 1
}
# The state of everything below a folder: names, kinds, modes and contents.
state() {
  (cd "$1" && find . -printf '%p %y %m\n' | sort && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
# refused TEXT ARGS...: zrpatch exits with a failure, says TEXT, and the prefix is as it was.
refused() {
  local text=$1
  shift
  local before
  before=$(state "$prefix")
  "$zrpatch" "$@" > out.txt 2>&1
  local code=$?
  [ "$code" != 0 ] || fail "zrpatch $* succeeded; expected a refusal: $text"
  grep -qF -- "$text" out.txt || fail "zrpatch $* does not say: $text
$(cat out.txt)"
  [ "$(state "$prefix")" = "$before" ] || fail "zrpatch $* changed the prefix"
  echo "   refused (exit $code): $(grep -F -- "$text" out.txt | head -1)"
}

example_sources
recipe zrpatch.exe 1.05 1.06 1.08 > recipe.cpp
build_patch recipe.cpp patch.exe
prefix="$work/prefix"
"$zrexample" install game/GERMAN/1.05 --prefix "$prefix" > /dev/null || fail "zrexample install"

echo "== A wineserver serves the prefix"
if command -v wineserver > /dev/null || [ -x /usr/lib/wine/wineserver ]; then
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  WINEPREFIX="$prefix" "$wineserver" -p 60 || fail "wineserver -p"
  for _ in $(seq 50); do ls /tmp/.wine-"$(id -u)"/server-*/socket > /dev/null 2>&1 && break; sleep 0.1; done
  refused "and would overwrite its registry when it ends" --prefix "$prefix" --yes patch.exe
  WINEPREFIX="$prefix" "$wineserver" -k
  WINEPREFIX="$prefix" "$wineserver" -w
else
  echo "   skipped: no wineserver here"
fi

echo "== The machine registry file is read-only"
chmod a-w "$prefix/system.reg"
if [ -w "$prefix/system.reg" ]; then
  echo "   skipped: this user writes read-only files"
else
  refused "system.reg" --prefix "$prefix" --yes patch.exe
fi
chmod u+w "$prefix/system.reg"

echo "== Another run holds the installation"
game=$(find "$prefix/drive_c" -iname game.exe -printf '%h\n' | head -1)
[ -n "$game" ] || fail "the installed game is not in the prefix"
flock "$game/zrpatch.lock" sleep 30 &
holder=$!
for _ in $(seq 50); do [ -e "$game/zrpatch.lock" ] && break; sleep 0.1; done
refused "Another run of the patch is updating this installation" --prefix "$prefix" --yes patch.exe
kill "$holder"
wait "$holder" 2> /dev/null
rm -f "$game/zrpatch.lock"

echo "== A distribution the patch does not have"
refused "This patch has no distribution FRENCH" --prefix "$prefix" --yes --distribution FRENCH patch.exe

echo "== A folder and a text given as the patch"
refused "a folder, not a file" --prefix "$prefix" --yes game
printf 'not a program\n' > notes.txt
refused "not a patch: the file is not a Windows program" --prefix "$prefix" --yes notes.txt

echo "== A prefix without system.reg"
mkdir -p "$work/empty/drive_c"
before=$(state "$work/empty")
"$zrpatch" --prefix "$work/empty" --yes patch.exe > out.txt 2>&1 && fail "a prefix without system.reg was accepted"
grep -qF "has no system.reg" out.txt || fail "no system.reg: $(cat out.txt)"
[ "$(state "$work/empty")" = "$before" ] || fail "the empty prefix was changed"
echo "   refused: $(grep -F 'has no system.reg' out.txt)"

echo "== After all that, the patch applies"
"$zrpatch" --prefix "$prefix" --yes patch.exe > out.txt 2>&1 || fail "the run after the refusals: $(cat out.txt)"
grep -qF "applied successfully" out.txt || fail "no success: $(cat out.txt)"
[ ! -e "$game/zrpatch.lock" ] || fail "the lock file stayed"
echo "runRefusals: every refusal before the first change, with its cause"
