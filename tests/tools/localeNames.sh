#!/usr/bin/env bash
# Names in several scripts under several Unix locales. The example game holds Czech, Polish, Cyrillic,
# Greek and Japanese names, folders in two scripts, a file renamed only in a non-ASCII letter's case and
# names whose upper-case form is longer or shorter in UTF-8. One patch of it is applied by the Linux
# program and by the Windows program under Wine with the locale set to C.UTF-8, de_DE.UTF-8 and
# cs_CZ.UTF-8 (Wine takes a Western code page from the first two and a Central European one from the
# third). Every result must be version 1.08 byte for byte, and all results the same name for name.
#   localeNames.sh SOURCE_DIR LINUX_BUILD WORK_DIR
# The Windows program is the product's 32-bit build where Wine runs 32-bit programs here, else the
# 64-bit build. Exit code 77 (skipped) without Wine, a Windows build or localedef.
set -u
source=$1
failures=0
fail() { echo "localeNames: FAIL: $*"; failures=$((failures + 1)); }
. "$source/tests/tools/examplePatch.sh"

windows=
for build in windows windows64; do
  [ -f "$2/../$build/src/zrpatch.exe" ] || continue
  wine=$(bash "$source/tools/wineLoader.sh" "$2/../$build/src/zrpatch.exe")
  [ -n "$wine" ] && WINEDEBUG=-all "$wine" cmd /c exit 0 > /dev/null 2>&1 && { windows=$(cd "$2/../$build" && pwd); break; }
done
[ -n "$windows" ] || { echo "localeNames: skipped, no Windows build that Wine runs beside $2"; exit 77; }
command -v localedef > /dev/null || { echo "localeNames: skipped, localedef is missing"; exit 77; }

enter_work "$2" "$windows/src/zrpatch.exe" "$3"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$zrexample" make game --only GERMAN > /dev/null || fail "zrexample make"
"$zrmake" keygen -o publisher.pem > /dev/null || fail "zrmake keygen"
recipe "$windows/src/zrpatch.exe" 1.05 1.06 1.08 | sed "s|\"zrvcdiff.exe\"|\"$windows/tools/zrvcdiff.exe\"|" > recipe.cpp
build_patch recipe.cpp patch.exe

# The locales, compiled into the work folder: a machine need not have them installed.
mkdir -p locales
export LOCPATH=$work/locales
for name in de_DE cs_CZ; do
  localedef -i "$name" -f UTF-8 "locales/$name.UTF-8" > "locales/$name.log" 2>&1 ||
    { echo "localeNames: skipped, localedef cannot make $name.UTF-8: $(tail -n 1 "locales/$name.log")"; exit 77; }
done

# One prefix as Wine makes it, copied for each run.
WINEPREFIX="$work/prefix-template" LANG=C.UTF-8 LC_ALL=C.UTF-8 "$wine" wineboot -i > wineboot.log 2>&1
WINEPREFIX="$work/prefix-template" wineserver -w
[ -f prefix-template/system.reg ] || { fail "wineboot made no prefix: $(tail -n 3 wineboot.log)"; exit 1; }

installed() { echo "$work/$1/drive_c/Program Files (x86)/Example Game"; }

for locale in C.UTF-8 de_DE.UTF-8 cs_CZ.UTF-8; do
  if [ "$(LC_ALL=$locale locale charmap 2> /dev/null)" != UTF-8 ]; then
    fail "$locale: the locale cannot be set"
    continue
  fi
  for program in linux windows; do
    prefix=prefix-$program-$locale
    cp -a prefix-template "$prefix"
    "$zrexample" install game/GERMAN/1.05 --prefix "$prefix" > /dev/null || fail "$prefix: zrexample install"
    if [ $program = linux ]; then
      LANG=$locale LC_ALL=$locale "$zrpatch" --prefix "$prefix" --yes --on-error abort patch.exe > "$prefix.log" 2>&1
      code=$?
    else
      cp patch.exe "$prefix/drive_c/patch.exe"
      LANG=$locale LC_ALL=$locale WINEPREFIX="$work/$prefix" timeout 600 "$wine" 'C:\patch.exe' --yes \
        --on-error abort --log 'C:\patch.log' > "$prefix.log" 2>&1
      code=$?
      WINEPREFIX="$work/$prefix" wineserver -w
      # The ANSI code page Wine took from the locale: the names must have been found through it too.
      acp=$(LANG=$locale LC_ALL=$locale WINEPREFIX="$work/$prefix" "$wine" reg query \
        'HKLM\System\CurrentControlSet\Control\Nls\CodePage' 2> /dev/null | tr -d '\r' | awk '$1 == "ACP" { print $3 }')
      WINEPREFIX="$work/$prefix" wineserver -k 2> /dev/null
      expected_acp=1252
      [ "$locale" = cs_CZ.UTF-8 ] && expected_acp=1250
      echo "ANSI code page: $acp" >> "$prefix.log"
      [ "$acp" = "$expected_acp" ] || fail "$program under $locale: Wine's ANSI code page is '$acp', not $expected_acp"
      cat "$prefix/drive_c/patch.log" >> "$prefix.log" 2> /dev/null
    fi
    [ "$code" = 0 ] || { fail "$program under $locale: exit code $code ($(grep -m1 -iE 'error|missing' "$prefix.log"))"; continue; }
    "$zrexample" compare game/GERMAN/1.08 "$(installed "$prefix")" --extra uninstall.log '*.lnk' > "$prefix.diff" 2>&1 ||
      fail "$program under $locale: the installation differs from 1.08 ($(head -n 3 "$prefix.diff"))"
    # Name for name and byte for byte the same as the first result, the uninstall log included.
    if [ "$prefix" != prefix-linux-C.UTF-8 ]; then
      diff -r --exclude='*.lnk' "$(installed prefix-linux-C.UTF-8)" "$(installed "$prefix")" > "$prefix.names" 2>&1 ||
        fail "$program under $locale differs from the Linux program under C.UTF-8: $(head -n 3 "$prefix.names")"
    fi
    echo "localeNames: $program under $locale: version 1.08, $(find "$(installed "$prefix")" -type f | wc -l) files"
  done
done

[ "$failures" -eq 0 ] && echo "localeNames: all results identical"
[ "$failures" -eq 0 ]
