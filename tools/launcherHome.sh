# Shell functions that lay out game launchers' files as the launchers write them, for the demo and the
# tests (no launcher is installed or started). Sourced:  . tools/launcherHome.sh
#
#   bare_prefix DIR                      a prefix as Wine makes one: drive C with its Program Files
#                                        folders, the drive links c: and z:, the registry files
#   wine_build DIR                       a stand-in for a Wine build: DIR/bin/wine records how it ran
#                                        (in $WINEPREFIX/ran-with-wine.txt)
#   steam_library_list FILE PATH...      steamapps/libraryfolders.vdf naming these libraries
#   steam_app LIBRARY APPID NAME         steamapps/appmanifest_APPID.acf, installed in common/NAME
#   proton_prefix LIBRARY APPID PROTON   steamapps/compatdata/APPID/pfx, made by the Proton whose
#                                        files folder is PROTON (config_info)

bare_prefix() {
  mkdir -p "$1/drive_c/Program Files" "$1/drive_c/Program Files (x86)" "$1/dosdevices"
  ln -sfn ../drive_c "$1/dosdevices/c:"
  ln -sfn / "$1/dosdevices/z:"
  printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n' > "$1/system.reg"
  printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n' > "$1/user.reg"
}

wine_build() {
  mkdir -p "$1/bin" "$1/lib64"
  printf '#!/bin/sh\nprintf "%%s\\n" "$0" "$@" > "$WINEPREFIX/ran-with-wine.txt"\n' > "$1/bin/wine"
  chmod +x "$1/bin/wine"
}

steam_library_list() {
  local file=$1 i=0 path
  shift
  mkdir -p "$(dirname "$file")"
  {
    echo '"libraryfolders"'
    echo '{'
    for path in "$@"; do
      printf '\t"%d"\n\t{\n\t\t"path"\t\t"%s"\n\t\t"label"\t\t""\n\t}\n' "$i" "$path"
      i=$((i + 1))
    done
    echo '}'
  } > "$file"
}

steam_app() {
  mkdir -p "$1/steamapps/common/$3"
  printf '"AppState"\n{\n\t"appid"\t\t"%s"\n\t"Universe"\t\t"1"\n\t"name"\t\t"%s"\n\t"StateFlags"\t\t"4"\n\t"installdir"\t\t"%s"\n}\n' \
    "$2" "$3" "$3" > "$1/steamapps/appmanifest_$2.acf"
}

proton_prefix() {
  bare_prefix "$1/steamapps/compatdata/$2/pfx"
  printf '8.0-105\n%s/share/fonts/\n%s/share/fonts/\n%s/lib/\n' "$3" "$3" "$3" > "$1/steamapps/compatdata/$2/config_info"
}
