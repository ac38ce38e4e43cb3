# Shared by the end-to-end scripts: the example game's trees and a signed patch of them, built by zrmake
# around a stand-in for the Windows program. The caller defines `fail`.

# enter_work LINUX_BUILD STUB WORK_DIR: the programs of the Linux build (`zrexample`, `zrmake`,
# `zrpatch`), the stand-in (`stub`), and a fresh work folder (`work`) as the current folder, with no
# prefix taken from the environment.
enter_work() {
  linux=$(cd "$1" && pwd)
  stub=$(realpath "$2")
  work=$(realpath -m "$3")
  zrexample="$linux/tools/zrexample"
  zrmake="$linux/tools/zrmake"
  zrpatch="$linux/src/zrpatch"
  rm -rf "$work"
  mkdir -p "$work"
  cd "$work" || exit 1
  unset WINEPREFIX WINEARCH
}

# recipe PROGRAM VERSION...: the recipe of a patch around PROGRAM with those versions' German trees.
recipe() {
  local program=$1
  shift
  printf 'manifest = "game/manifest.cfg";\nkey = "publisher.pem";\npatchProgram = "%s";\ndeltaTool = "zrvcdiff.exe";\nclass Versions\n{\n' "$program"
  local v
  for v in "$@"; do
    printf '  class v%s { version = "%s"; class Trees { GERMAN = "game/GERMAN/%s"; }; };\n' "${v/./}" "$v" "$v"
  done
  printf '};\n'
}

# The trees in game/, the stand-ins and the publisher's key: what `recipe` names.
example_sources() {
  "$zrexample" make game --only GERMAN > /dev/null || fail "zrexample make"
  cp "$stub" zrpatch.exe
  printf 'MZ stand-in for the delta tool' > zrvcdiff.exe
  "$zrmake" keygen -o publisher.pem > /dev/null || fail "zrmake keygen"
}

# build_patch RECIPE OUTPUT: zrmake build, failing the script with zrmake's output.
build_patch() {
  "$zrmake" build "$1" -o "$2" > make.log 2>&1 || fail "zrmake build $1: $(cat make.log)"
}
