#!/usr/bin/env bash
# Remakes the kept .xz streams with liblzma (Python's lzma module and the xz tool), so that builds
# without liblzma (the Windows target under Wine) decode streams a real encoder wrote. expected.txt
# lists each stream's decoded size and SHA-256.
set -euo pipefail
cd "$(dirname "$0")"
rm -f ./*.xz expected.txt
python3 - <<'PY'
import hashlib, lzma, random, subprocess
rng = random.Random(2024)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(300)]
def text(n):
    out, size = [], 0
    while size < n:
        w = rng.choice(words) + rng.choice(' \n, ')
        out.append(w)
        size += len(w)
    return ''.join(out)[:n].encode()
def records(n):
    return b''.join((i // 3).to_bytes(4, 'little') + bytes([i % 7, 0, 0, rng.randrange(4)]) for i in range(n // 8))
def mixed(n):
    parts, size = [], 0
    while size < n:
        k = rng.randrange(3)
        part = text(rng.randrange(100, 3000)) if k == 0 else bytes(rng.randrange(256) for _ in range(rng.randrange(100, 2000))) if k == 1 else bytes(rng.randrange(2000))
        parts.append(part)
        size += len(part)
    return b''.join(parts)[:n]
cases = [
    ('text-6-crc64', text(60000), dict(check=lzma.CHECK_CRC64, preset=6)),
    ('mixed-0-crc32', mixed(40000), dict(check=lzma.CHECK_CRC32, preset=0)),
    ('records-lc0lp2pb0-sha256', records(32000), dict(check=lzma.CHECK_SHA256, filters=[{'id': lzma.FILTER_LZMA2, 'preset': 6, 'lc': 0, 'lp': 2, 'pb': 0}])),
    ('text-lc4pb4-9e-none', text(20000), dict(check=lzma.CHECK_NONE, filters=[{'id': lzma.FILTER_LZMA2, 'preset': 9 | lzma.PRESET_EXTREME, 'lc': 4, 'pb': 4}])),
    ('empty-crc64', b'', dict(check=lzma.CHECK_CRC64)),
]
lines = []
for name, data, options in cases:
    open(name + '.xz', 'wb').write(lzma.compress(data, format=lzma.FORMAT_XZ, **options))
    lines.append('%s.xz %d %s' % (name, len(data), hashlib.sha256(data).hexdigest()))
# Several blocks with their sizes in the block headers, from the xz tool.
data = mixed(50000)
open('multiblock-none.xz', 'wb').write(subprocess.run(['xz', '-6', '-T1', '--block-size=12000', '-C', 'none', '-c'], input=data, capture_output=True, check=True).stdout)
lines.append('multiblock-none.xz %d %s' % (len(data), hashlib.sha256(data).hexdigest()))
open('expected.txt', 'w').write('\n'.join(lines) + '\n')
PY
