#!/usr/bin/env bash
# Second half of the built-in example: a publisher's manifest text, checked, binarized and printed
# back, and a folder packed into a data bank and listed.
#   tools/demo-config.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
tool="$build/tools/zrconfig"
cd "$work"

echo "== 2. A patch manifest, from text to the binary form the patch program reads"
cat > patch.cpp <<'CFG'
registryKey = "SOFTWARE\Example Studio\Example Game";
executable = "game.exe";
version = "1.06";
class Distributions
{
	class English { language = "en"; files[] = {"Data.pak", "game.exe"}; };
	class German : English { language = "de"; };
};
CFG
"$tool" check patch.cpp
"$tool" to-binary patch.cpp patch.bin
echo "   binary manifest: $(stat -c %s patch.bin) bytes; printed back:"
"$tool" print patch.bin | sed 's/^/     /'

printf 'version = "1.06";\nclass German : English {};\n' > broken.cpp
if "$tool" check broken.cpp 2> broken.err; then
  echo "   a broken manifest passed the check" >&2
  exit 1
fi
echo "   a broken manifest is reported with file and line:"
sed 's/^/     /' broken.err

echo "== 3. A data bank"
mkdir -p bankdata/sub
cp patch.cpp bankdata/
cp Data.pak bankdata/sub/
"$tool" bank pack bankdata data.pbo --lz --prefix 'game\data'
"$tool" bank list data.pbo | sed 's/^/   /'
"$tool" bank extract data.pbo -o extracted
# Entry names are kept in lower case.
cmp extracted/sub/data.pak Data.pak
cmp extracted/patch.cpp patch.cpp
echo "   extracted entries are byte-identical"
