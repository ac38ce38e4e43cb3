# Shared by the end-to-end scripts: the example game's trees and a signed patch of them, built by zrmake
# around a stand-in for the Windows program. The caller sets `zrexample`, `zrmake` and `stub`, defines
# `fail`, and works in its own folder.

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
