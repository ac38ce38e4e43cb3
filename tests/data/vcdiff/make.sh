#!/usr/bin/env bash
# Remakes the checked-in deltas with the xdelta3 tool, so that builds without it (the Windows target
# under Wine) still decode real deltas. source.bin and target.bin are generated text-like files; the
# deltas use the options the authoring side uses, once without and once with secondary compression,
# and once more with small windows so that LZMA streams continue across windows.
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
import random
rng = random.Random(6)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(400)]
def text(n):
    out = []
    size = 0
    while size < n:
        w = rng.choice(words) + rng.choice([' ', ' ', ' ', '\n', ', '])
        out.append(w)
        size += len(w)
    return ''.join(out)[:n].encode()
source = text(60000)
target = bytearray(source[:20000] + text(3000) + source[24000:45000] + bytes(rng.randrange(256) for _ in range(2000)) + source[47000:])
for i in range(0, len(target), 997):
    target[i] ^= 0x20
open('source.bin', 'wb').write(source)
open('target.bin', 'wb').write(bytes(target))
PY
options=(-f -I 262144 -W 1048576 -B 268435456)
xdelta3 -e "${options[@]}" -S none -s source.bin target.bin none.vcdiff
xdelta3 -e "${options[@]}" -s source.bin target.bin lzma.vcdiff
xdelta3 -e -f -I 262144 -W 16384 -B 268435456 -s source.bin target.bin lzma-windows.vcdiff
