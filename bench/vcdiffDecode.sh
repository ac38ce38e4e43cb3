#!/usr/bin/env bash
# Decodes the same deltas with the linked decoder (zrvcdiff) and with the xdelta3 tool, alternating,
# and compares wall time and peak memory. The deltas are made here by xdelta3 with the authoring
# side's options, once without and once with secondary compression (LZMA), from a generated file of
# ZR_BENCH_VCDIFF_MIB MiB (default 256) and a changed copy of it. The LZMA delta is also decoded with
# zrvcdiff's liblzma engine (ZR_VCDIFF_LZMA=liblzma), to compare our .xz decoder with liblzma's, and
# both deltas once more with one thread (ZR_VCDIFF_THREADS=1), for the single-core figure.
#   bench/vcdiffDecode.sh BUILD_DIR
set -euo pipefail
build=$1
ours=$build/tools/zrvcdiff
mib=${ZR_BENCH_VCDIFF_MIB:-256}
rounds=${ZR_BENCH_VCDIFF_ROUNDS:-5}
command -v xdelta3 > /dev/null || { echo "vcdiffDecode: xdelta3 is not installed; skipped"; exit 0; }
[ -x "$ours" ] || { echo "vcdiffDecode: $ours is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A file of 1 MiB blocks, half random and half text, and a copy with inserted, changed and deleted
# stretches and new text.
python3 - "$work" "$mib" <<'PY'
import os, random, sys
work, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(2284)
text = b''.join(b'%d:%s ' % (i, bytes(rng.choice(b'abcdefghij') for _ in range(12))) for i in range(60000))
blocks = []
for i in range(mib):
    half = 1 << 19
    start = rng.randrange(len(text) - half)
    blocks.append(os.urandom(half) + text[start:start + half] if i % 2 else text[start:start + half] + os.urandom(half))
with open(os.path.join(work, 'source'), 'wb') as f:
    f.write(b''.join(blocks))
with open(os.path.join(work, 'target'), 'wb') as f:
    for block in blocks:
        kind = rng.randrange(5)
        cut = rng.randrange(1 << 20)
        if kind == 0:
            f.write(block)
        elif kind == 1:  # new random bytes inserted
            f.write(block[:cut] + os.urandom(rng.randrange(1, 1 << 16)) + block[cut:])
        elif kind == 2:  # a changed stretch
            f.write(block[:cut] + os.urandom(4096) + block[cut + 4096:])
        elif kind == 3:  # a deleted stretch
            f.write(block[:cut] + block[cut + rng.randrange(1, 1 << 15):])
        else:  # new text, which secondary compression shrinks
            start = rng.randrange(len(text) - (1 << 18))
            f.write(block[:cut] + text[start:start + (1 << 18)][::-1] + block[cut:])
PY
options=(-f -I 262144 -W 1048576 -B 268435456)
xdelta3 -e "${options[@]}" -S none -s "$work/source" "$work/target" "$work/none.vcdiff"
xdelta3 -e "${options[@]}" -s "$work/source" "$work/target" "$work/lzma.vcdiff"
echo "vcdiffDecode: ${mib} MiB source; deltas: -S none $(stat -c %s "$work/none.vcdiff") bytes," \
  "LZMA $(stat -c %s "$work/lzma.vcdiff") bytes; $rounds rounds"

# Alternating timed decodes; each child's peak memory comes from its own resource usage (wait4).
python3 - "$work" "$ours" "$rounds" <<'PY'
import filecmp, os, subprocess, sys, time
work, ours, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
tools = {'zrvcdiff': ours, 'xdelta3': 'xdelta3', 'liblzma': ours, 'single': ours}
runs = ([(kind, name) for kind in ('none', 'lzma') for name in ('zrvcdiff', 'xdelta3', 'single')] +
        [('lzma', 'liblzma')])
seconds_of = {run: 0.0 for run in runs}
cpu_of = {run: 0.0 for run in runs}
peak = {name: 0 for name in tools}
for round in range(rounds + 1):  # round 0 only warms the page cache
    # Alternate the order, so that no tool always follows the same other.
    order = runs if round % 2 else runs[::-1]
    for kind, name in order:
        # Each decode writes a new file, as the patch program's do, from a clean page cache state.
        out = os.path.join(work, 'out-' + name)
        if os.path.exists(out):
            os.remove(out)
        os.sync()
        env = dict(os.environ)
        if name == 'liblzma':
            env['ZR_VCDIFF_LZMA'] = 'liblzma'
        if name == 'single':
            env['ZR_VCDIFF_THREADS'] = '1'
        start = time.perf_counter()
        child = subprocess.Popen([tools[name], '-f', '-d', '-s', os.path.join(work, 'source'),
                                  os.path.join(work, kind + '.vcdiff'), out], env=env)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        if status != 0 or not filecmp.cmp(out, os.path.join(work, 'target'), shallow=False):
            sys.exit('vcdiffDecode: %s failed or produced a different output (%s)' % (name, kind))
        if round == 0:
            continue
        used = usage.ru_utime + usage.ru_stime
        label = {'liblzma': 'zrvcdiff (liblzma)', 'single': 'zrvcdiff (1 thread)'}.get(name, name)
        print('  %-18s %-4s %7.3f s (processor %.3f s) %8d KiB' % (label, kind, seconds, used, usage.ru_maxrss))
        seconds_of[(kind, name)] += seconds
        cpu_of[(kind, name)] += used
        peak[name] = max(peak[name], usage.ru_maxrss)
def total(name):
    return sum(seconds_of[(kind, name)] for kind in ('none', 'lzma'))
def cpu(name):
    return sum(cpu_of[(kind, name)] for kind in ('none', 'lzma'))
print('  total: xdelta3 %.3f s (processor %.3f s), peak %d KiB; zrvcdiff %.3f s (processor %.3f s), peak %d KiB'
      % (total('xdelta3'), cpu('xdelta3'), peak['xdelta3'], total('zrvcdiff'), cpu('zrvcdiff'), peak['zrvcdiff']))
print('ratio vcdiff-decode-vs-xdelta3 %.2f xdelta3 wall time / our wall time' % (total('xdelta3') / total('zrvcdiff')))
print('ratio vcdiff-decode-single-core-vs-xdelta3 %.2f xdelta3 wall time / our wall time with one thread'
      % (total('xdelta3') / total('single')))
for kind, what in (('none', '-S none delta only'), ('lzma', 'LZMA delta only')):
    print('ratio vcdiff-decode-%s-vs-xdelta3 %.2f xdelta3 wall time / our wall time, %s'
          % (kind, seconds_of[(kind, 'xdelta3')] / seconds_of[(kind, 'zrvcdiff')], what))
print('ratio vcdiff-decode-lzma-liblzma-vs-xdelta3 %.2f xdelta3 wall time / our wall time with liblzma, LZMA delta only'
      % (seconds_of[('lzma', 'xdelta3')] / seconds_of[('lzma', 'liblzma')]))
print('ratio vcdiff-memory-vs-xdelta3 %.2f xdelta3 peak memory / our peak memory' % (peak['xdelta3'] / peak['zrvcdiff']))
PY
