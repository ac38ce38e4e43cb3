#!/usr/bin/env bash
# The built-in example, end to end: a publisher builds a signed patch from three versions of an example
# game, and a player applies it on Linux to the game installed in a Wine prefix; where Wine runs, the
# same patch executable is applied by the Windows program to a second prefix and both results compared.
#   tools/demo.sh LINUX_BUILD WINDOWS_BUILD [WORK_DIR]
# Exits with 1 (and says where) when any check fails.
set -euo pipefail
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
work=$(realpath -m "${3:-$linux/demo}")
here=$(cd "$(dirname "$0")" && pwd)
# The demo's prefixes are its own, made the way Wine makes them by default.
unset WINEPREFIX WINEARCH
rm -rf "$work"
mkdir -p "$work"
cd "$work"
zrexample="$linux/tools/zrexample"
zrmake="$linux/tools/zrmake"
zrpatch="$linux/src/zrpatch"
game="C:/Program Files (x86)/Example Game"

step() { printf '\n== %s\n' "$*"; }

step "1. The publisher's trees: versions 1.05, 1.06 and 1.08, English and German"
"$zrexample" make game
( cd game && find GERMAN/1.05 -type f | sort | sed 's/^/   /' )

step "2. The player's machine: German 1.05 installed into a fresh Wine prefix (no Wine needed)"
"$zrexample" install game/GERMAN/1.05 --prefix prefix

step "3. The publisher builds the patch with one command"
"$zrmake" keygen -o publisher.pem
cat > recipe.cpp <<EOF
manifest = "game/manifest.cfg";
key = "publisher.pem";
patchProgram = "$windows/src/zrpatch.exe";
deltaTool = "$windows/tools/zrvcdiff.exe";
class Versions
{
  class v105 { version = "1.05"; class Trees { ENGLISH = "game/ENGLISH/1.05"; GERMAN = "game/GERMAN/1.05"; }; };
  class v106 { version = "1.06"; class Trees { ENGLISH = "game/ENGLISH/1.06"; GERMAN = "game/GERMAN/1.06"; }; };
  class v108 { version = "1.08"; class Trees { ENGLISH = "game/ENGLISH/1.08"; GERMAN = "game/GERMAN/1.08"; }; };
};
EOF
"$zrmake" build recipe.cpp -o patch-1.08.exe
"$zrmake" inspect patch-1.08.exe | sed -n '1,12p;/^key:/p;/^signature:/p;/^payload table:/p;/problem/p' | sed 's/^/   /'

step "4. The player applies it on Linux, unattended"
"$zrpatch" --prefix prefix --yes --log patch.log patch-1.08.exe

step "5. The installation is version 1.08, byte for byte"
installed="prefix/drive_c/Program Files (x86)/Example Game"
# New files get lower-case names, as on Windows; Wine finds them whatever their case.
"$zrexample" compare game/GERMAN/1.08 "$installed" --extra uninstall.log '*.lnk' | sed 's/^/   /'
echo "   registry (prefix/system.reg, prefix/user.reg):"
grep -A3 -i 'Example\]' prefix/system.reg prefix/user.reg | grep -E '"(Version|Language|MAIN)"' | sed 's/^/     /'
echo "   shortcuts:"
find prefix/drive_c -name '*.lnk' | sed 's/^/     /'
link="prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Example Game/Map Editor.lnk"
if command -v lnkinfo > /dev/null; then
  lnkinfo "$link" | grep -E 'Description|Local path|Working directory|Command line' | sed 's/^\t*/     /'
fi
echo "   uninstall.log:"
sed 's/^/     /' "$installed/uninstall.log" | tr -d '\r' | head -n 8

step "6. A second run finds the patch applied; --verify finds it intact, and a damaged copy not"
"$zrpatch" --prefix prefix --yes patch-1.08.exe 2>&1 | grep -i "already applied"
echo "   zrpatch --verify --prefix prefix patch-1.08.exe:"
"$zrpatch" --verify --prefix prefix patch-1.08.exe 2>&1 | grep -E "^(log: )?(Verifying|The installation)" | sed 's/^/     /'
# A copy of the prefix with one file changed and one deleted: both named, exit code 1, nothing written.
cp -a prefix prefix-damaged
damaged="prefix-damaged/drive_c/Program Files (x86)/Example Game"
printf 'X' | dd of="$damaged/Data/Maps/Island.map" bs=1 seek=3 conv=notrunc status=none
rm "$damaged/readme.txt"
before=$(find prefix-damaged -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)
echo "   zrpatch --verify --prefix prefix-damaged patch-1.08.exe:"
if "$zrpatch" --verify --prefix prefix-damaged patch-1.08.exe > verify.out 2>&1; then
  echo "   the damaged copy was found intact" >&2
  exit 1
fi
grep -E "^(log: )?(Error found|File .* is missing|The installation)" verify.out | sed 's/^/     /'
after=$(find prefix-damaged -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)
[ "$before" = "$after" ] || { echo "   --verify changed the prefix" >&2; exit 1; }
echo "     (exit code 1; the prefix hashes the same before and after)"

step "7. A tampered copy and a forged payload are refused"
cp patch-1.08.exe tampered.exe
# The manifest is the last resource with its key names; the program itself holds the same words earlier.
offset=$(grep -obUa displayName tampered.exe | tail -n 1 | cut -d: -f1)
printf 'D' | dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
if "$zrpatch" --prefix prefix --yes tampered.exe 2> tampered.err; then
  echo "   the tampered patch was accepted" >&2
  exit 1
fi
grep -o "Patch file is corrupted, error [0-9/-]*\." tampered.err | head -n 1 | sed 's/^/   refused: /'
# A forged payload: one byte of a checksum list changed, the publisher's signatures and table kept as
# they were. The signed payload table names the entry, and nothing is asked or written.
cp patch-1.08.exe forged.exe
offset=$(grep -obUa 'readme.txt ' forged.exe | tail -n 1 | cut -d: -f1)
printf 'R' | dd of=forged.exe bs=1 seek="$offset" conv=notrunc status=none
before=$(find prefix -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)
if "$zrpatch" --prefix prefix --yes forged.exe 2> forged.err; then
  echo "   the forged patch was accepted" >&2
  exit 1
fi
after=$(find prefix -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)
[ "$before" = "$after" ] || { echo "   the forged patch changed the prefix" >&2; exit 1; }
grep -o "Patch file is corrupted: .*" forged.err | head -n 1 | sed 's/^/   refused: /'
echo "   the whole prefix hashes the same before and after"
# A player who pinned the publisher's key refuses a patch that carries any other key.
"$zrmake" keygen -o other.pem > /dev/null
if "$zrpatch" --prefix prefix --yes --trusted-key other.blob patch-1.08.exe 2> other.err; then
  echo "   a patch with another publisher's key was accepted" >&2
  exit 1
fi
echo "   with --trusted-key other.blob: $(grep -m1 -i "key" other.err | sed 's/^.*error: //; s/ (the patch.*//')"
"$zrpatch" --prefix prefix --yes --dry-run --trusted-key publisher.blob patch-1.08.exe > /dev/null 2>&1
echo "   with --trusted-key publisher.blob: accepted"

step "8. A Steam game under Proton: its prefix's registry knows nothing of it, zrpatch finds it anyway"
# A player's home with Steam's files (no Steam): the game in the library's steamapps/common, the
# Proton prefix Steam made for it, a plain ~/.wine beside it. Proton's files are a stand-in.
. "$here/launcherHome.sh"
steamhome="$work/steam-home"
library="$steamhome/.local/share/Steam"
mkdir -p "$steamhome/.steam"
ln -s "$library" "$steamhome/.steam/steam"
steam_library_list "$library/steamapps/libraryfolders.vdf" "$library"
steam_app "$library" 1234560 "Example Game"
cp -r game/GERMAN/1.05/. "$library/steamapps/common/Example Game"
wine_build "$library/steamapps/common/Proton 8.0/files"
proton_prefix "$library" 1234560 "$library/steamapps/common/Proton 8.0/files"
bare_prefix "$steamhome/.wine"
echo "   zrpatch --list patch-1.08.exe:"
HOME="$steamhome" "$zrpatch" --list patch-1.08.exe 2> /dev/null | sed 's/^/     /'
HOME="$steamhome" "$zrpatch" --yes patch-1.08.exe 2>&1 |
  grep -E "^(log: )?(Wine prefix|Steam app|Windows programs|Game folder|.*applied successfully)" | sed 's/^/   /'
"$zrexample" compare game/GERMAN/1.08 "$library/steamapps/common/Example Game" --extra uninstall.log '*.lnk' |
  sed 's/^/   /'
grep -A3 -i 'Example\]' "$library/steamapps/compatdata/1234560/pfx/system.reg" | grep '"Version"' | sed 's/^/   in its prefix: /'

wine=$(bash "$here/wineLoader.sh" patch-1.08.exe)
if [ -z "$wine" ] || ! command -v xvfb-run > /dev/null; then
  step "9. (Wine or xvfb-run is missing: the Windows program's half is skipped)"
  step "demo finished in $work"
  exit 0
fi

step "9. The same patch executable, applied by the Windows program under Wine to a second prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX="$work/prefix-wine" "$wine" wineboot -i > /dev/null 2>&1
WINEPREFIX="$work/prefix-wine" wineserver -w
"$zrexample" install game/GERMAN/1.05 --prefix prefix-wine
cp patch-1.08.exe prefix-wine/drive_c/patch-1.08.exe
# Unattended, the program answers everything itself and closes its window at the end.
WINEPREFIX="$work/prefix-wine" timeout 600 xvfb-run -a "$wine" 'C:\patch-1.08.exe' --yes --log 'C:\patch.log' > wine.log 2>&1 || true
WINEPREFIX="$work/prefix-wine" wineserver -w
result=$(grep -E "has been applied successfully|^error:" prefix-wine/drive_c/patch.log 2> /dev/null || true)
grep -E "^(title|log|error): " prefix-wine/drive_c/patch.log | sed 's/^/   /' | tail -n 4
case "$result" in
  *"applied successfully"*) ;;
  *) echo "   the Windows program did not apply the patch" >&2; exit 1 ;;
esac

step "10. Both prefixes hold the same result"
winegame="prefix-wine/drive_c/Program Files (x86)/Example Game"
diff -r --exclude='*.lnk' "$installed" "$winegame" | head -n 20
echo "   files, names and uninstall.log: identical"
for hive in system user; do
  ours=$(grep -A4 -i 'Corvanth\\\\Example\]' "prefix/$hive.reg" | grep -E '"(Version|Language)"' | sort)
  theirs=$(grep -A4 -i 'Corvanth\\\\Example\]' "prefix-wine/$hive.reg" | grep -E '"(Version|Language)"' | sort)
  [ "$ours" = "$theirs" ] || { echo "   registry differs in $hive.reg: $ours / $theirs" >&2; exit 1; }
done
echo "   registry values: identical"
if command -v lnkinfo > /dev/null; then
  fields='Description|Local path|Working directory|Command line'
  winelink="prefix-wine/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Example Game/Map Editor.lnk"
  diff <(lnkinfo "$link" | grep -E "$fields") <(lnkinfo "$winelink" | grep -E "$fields")
  echo "   links: the same target, arguments, working folder and description"
fi
step "demo finished in $work"
