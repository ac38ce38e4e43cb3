#!/usr/bin/env bash
# zrpatch in a player's home with game launchers (their files only, no launcher installed): --list,
# the automatic choice of the one prefix that holds the game, the refusal of an unattended run when
# several do, --steam-app for a Steam game its Proton prefix does not know, --game for a folder no
# launcher knows, and the manifest's commands run with the prefix's own Wine (or not started where
# that Wine is missing). The patch is built by zrmake around a stand-in for the Windows program.
#   launcherPrefixes.sh SOURCE_DIR LINUX_BUILD STUB WORK_DIR
set -u
. "$1/tools/launcherHome.sh"
. "$1/tests/tools/examplePatch.sh"
shift
enter_work "$1" "$2" "$3"
unset XDG_DATA_HOME XDG_CONFIG_HOME

fail() {
  echo "launcherPrefixes: $*" >&2
  exit 1
}
# Runs zrpatch with HOME set, expecting the exit code; its output is in out.txt and err.txt.
run() {
  local expected=$1 home=$2
  shift 2
  HOME="$home" "$zrpatch" "$@" > out.txt 2> err.txt
  local code=$?
  [ "$code" = "$expected" ] || fail "zrpatch $* (HOME=$home): exit code $code, expected $expected
$(cat out.txt err.txt)"
}
expect() {  # expect FILE TEXT: the file holds the text
  grep -qF -- "$2" "$1" || fail "$1 does not say: $2
$(cat "$1")"
}
# The publisher's patch, with a command to run after the files (an installer of fonts, say).
"$zrexample" make game --only GERMAN > /dev/null || fail "zrexample make"
printf 'class Commands { class Fonts { commandLine="fontsetup.exe /silent"; }; };\n' >> game/manifest.cfg
cp "$stub" zrpatch.exe
printf 'MZ stand-in for the delta tool' > zrvcdiff.exe
"$zrmake" keygen -o publisher.pem > /dev/null || fail "zrmake keygen"
recipe zrpatch.exe 1.05 1.06 1.08 > recipe.cpp
build_patch recipe.cpp patch.exe

# The home: Steam with its own library and one on another disk (/dev/shm where it can be written),
# Proton 8.0 in the first. App 1001's installer registered the game in its prefix; app 1002 was
# installed by Steam only. A plain ~/.wine without the game.
home="$work/home"
steam="$home/.local/share/Steam"
if [ -w /dev/shm ]; then disk2=/dev/shm/zrtest-launchers-$$; else disk2="$work/disk2"; fi
trap 'rm -rf "$disk2"' EXIT
library2="$disk2/SteamLibrary"
mkdir -p "$steam/steamapps/common" "$library2/steamapps/common" "$home/.steam"
ln -s "$steam" "$home/.steam/steam"
steam_library_list "$steam/steamapps/libraryfolders.vdf" "$steam" "$library2"
proton="$steam/steamapps/common/Proton 8.0/files"
wine_build "$proton"
proton_prefix "$steam" 1001 "$proton"
steam_app "$steam" 1001 "Example Game (registered)"
"$zrexample" install game/GERMAN/1.05 --prefix "$steam/steamapps/compatdata/1001/pfx" > /dev/null || fail "install 1001"
proton_prefix "$library2" 1002 "$proton"
steam_app "$library2" 1002 "Example Game"
cp -r game/GERMAN/1.05/. "$library2/steamapps/common/Example Game"
bare_prefix "$home/.wine"

echo "== zrpatch --list: every prefix, with the Proton of each"
run 0 "$home" --list
cat out.txt
expect out.txt "Steam app 1001 \"Example Game (registered)\""
expect out.txt "Steam app 1002 \"Example Game\""
expect out.txt "game folder: $(realpath "$library2/steamapps/common/Example Game")"
expect out.txt "Wine: Proton 8.0 ($proton)"
expect out.txt "prefix: $home/.wine"

echo "== zrpatch --list PATCH: which prefixes hold the game, at which version and distribution"
run 0 "$home" --list patch.exe
cat out.txt
expect out.txt "Example Game: 1.05, GERMAN, in C:\\Program Files (x86)\\Example Game\\ (registered)"
expect out.txt "Example Game: 1.05, GERMAN, in Z:$(realpath "$library2/steamapps/common/Example Game" | tr / '\\')\\"
expect out.txt "Example Game: not in this prefix"
run 0 "$home" --list --json patch.exe
expect out.txt '"type":"prefix","launcher":"Steam","variant":"","id":"1002"'
expect out.txt '"registered":false}}'
expect out.txt '{"type":"result","code":0}'

echo "== Two prefixes hold the game: an unattended run refuses and lists them"
run 1 "$home" --yes patch.exe
expect err.txt "Example Game is in more than one prefix. Name the one to patch with --prefix or --steam-app:"
expect err.txt "1) Steam app 1001"
expect err.txt "2) Steam app 1002"
run 1 "$home" --json patch.exe
expect out.txt '"type":"message","icon":"error"'

echo "== --steam-app 1002: the Steam game that its prefix's registry does not know"
run 0 "$home" --yes --steam-app 1002 --log patch.log patch.exe
grep -E "Wine prefix|Steam app|run with|Game folder|applied" err.txt | sed 's/^/   /'
expect err.txt "Game folder Z:"
expect err.txt "Windows programs run with Proton 8.0"
"$zrexample" compare game/GERMAN/1.08 "$library2/steamapps/common/Example Game" --extra uninstall.log '*.lnk' > compare.txt ||
  fail "the Steam game is not 1.08: $(cat compare.txt)"
expect "$library2/steamapps/compatdata/1002/pfx/system.reg" '"Version"="1.08"'
# The command ran with Proton's own Wine in that prefix.
expect "$library2/steamapps/compatdata/1002/pfx/ran-with-wine.txt" "$proton/bin/wine"
expect "$library2/steamapps/compatdata/1002/pfx/ran-with-wine.txt" "fontsetup.exe"

echo "== The one prefix that holds the game is chosen by itself, and said"
home2="$work/home2"
mkdir -p "$home2/.local/share/Steam/steamapps/common"
steam_library_list "$home2/.local/share/Steam/steamapps/libraryfolders.vdf" "$home2/.local/share/Steam"
# Its Proton is gone: the command cannot start, and the patch goes on.
proton_prefix "$home2/.local/share/Steam" 1002 "$home2/removed/Proton 7.0/files"
steam_app "$home2/.local/share/Steam" 1002 "Example Game"
cp -r game/GERMAN/1.05/. "$home2/.local/share/Steam/steamapps/common/Example Game"
run 0 "$home2" --yes --log patch2.log patch.exe
expect err.txt "Steam app 1002 \"Example Game\": the one prefix found that holds Example Game"
expect err.txt "Windows programs run with none that can run here: its Proton Proton 7.0 is not installed"
expect patch2.log "CreateProcess failed, error 0x2"
[ ! -e "$home2/.local/share/Steam/steamapps/compatdata/1002/pfx/ran-with-wine.txt" ] || fail "a command ran with another Wine"
"$zrexample" compare game/GERMAN/1.08 "$home2/.local/share/Steam/steamapps/common/Example Game" --extra uninstall.log \
  '*.lnk' > compare.txt || fail "the chosen prefix's game is not 1.08: $(cat compare.txt)"

echo "== --game: a folder no launcher knows, in the prefix given"
cp -r game/GERMAN/1.05 "loose game"
# No Wine on the PATH: the system's Wine is missing, the command is not started.
PATH=/nonexistent run 0 "$home" --yes --prefix "$home/.wine" --game "loose game" patch.exe
expect err.txt "Game folder Z:$(realpath "loose game" | tr / '\\')\\"
"$zrexample" compare game/GERMAN/1.08 "loose game" --extra uninstall.log '*.lnk' > compare.txt ||
  fail "the named folder is not 1.08: $(cat compare.txt)"
expect "$home/.wine/system.reg" '"Version"="1.08"'
run 1 "$home" --yes --game "$work/missing" patch.exe
expect err.txt "does not exist"
run 1 "$home" --yes --steam-app 42 patch.exe
expect err.txt "No Steam library here has a Proton prefix of app 42"
run 1 "$home" --prefix "$home/.wine" --steam-app 1002 patch.exe
echo "launcherPrefixes: all checks passed"
