#!/usr/bin/env python3
"""The layers of src/, bottom to top, and a check that no folder includes a folder above it.

    checkLayers.py SOURCE_DIR [--graph]

Each #include "folder/..." line of a file below src/ is an arrow from the file's layer to the included
file's layer. An arrow may point down or stay within its level; one that points up is reported with
its file and line, and the exit code is 1. The patch layer receives its question interface in its job
and includes nothing of ui/, although ui/ is below it. --graph prints the folder-to-folder arrows with
their counts instead (what docs/architecture.md shows).
"""
import os
import re
import sys

# Bottom to top; the folders of one level may include each other.
LEVELS = [
    ["xz", "pe", "launchers"],       # byte formats: no operating system, no other folder
    ["platform"],                    # operating-system services behind interfaces
    ["El/Common", "Es"],             # diagnostics, memory, strings and arrays
    ["El/QStream", "El/ParamFile", "vcdiff"],
    ["ui"],                          # the user-interface seam and its backends (ui/win32: the dialogs)
    ["install"],
    ["patch"],
    ["app", "make"],
]
FORBIDDEN = {("patch", "ui")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    """The layer name of a path below src/ ("El/QStream/qstream.h" -> "El/QStream"), or None."""
    parts = path.replace(os.sep, "/").split("/")
    for level in LEVELS:
        for name in level:
            if "/".join(parts[: name.count("/") + 1]) == name:
                return name
    return None


def level_of(name):
    return next(i for i, level in enumerate(LEVELS) if name in level)


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip())
        return 2
    src = os.path.join(argv[1], "src")
    graph = "--graph" in argv[2:]
    arrows, problems, unknown = {}, [], set()
    for folder, _, files in os.walk(src):
        for file in sorted(files):
            if not file.endswith((".h", ".cpp", ".inc")):
                continue
            path = os.path.join(folder, file)
            relative = os.path.relpath(path, src)
            source = layer_of(relative)
            if source is None:
                unknown.add(relative.split(os.sep)[0])
                continue
            with open(path, encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = layer_of(match.group(1))
                    if target is None or target == source:
                        continue
                    arrows[(source, target)] = arrows.get((source, target), 0) + 1
                    if level_of(target) > level_of(source) or (source, target) in FORBIDDEN:
                        problems.append(f"src/{relative}:{number}: {source} includes {match.group(1)} ({target} is not below it)")
    if graph:
        for (source, target), count in sorted(arrows.items(), key=lambda a: (level_of(a[0][0]), a[0])):
            print(f"{source} -> {target} ({count})")
        return 0
    for folder in sorted(unknown):
        problems.append(f"src/{folder}: a folder in no layer (add it to LEVELS in tools/layers/checkLayers.py)")
    for problem in problems:
        print(problem)
    if problems:
        print(f"checkLayers: {len(problems)} include(s) against the layers")
        return 1
    print(f"checkLayers: {sum(arrows.values())} includes across folders, all downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
