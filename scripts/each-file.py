#!/usr/bin/env python3
"""Writes a Ninja file that checks every source file of a configured tree on
its own, for syntax and meaning alone (-fsyntax-only): no code is generated,
nothing is linked.

    python3 scripts/each-file.py BUILD_DIR   then   ninja -C BUILD_DIR/each-file

BUILD_DIR is a tree configured with -DHERALD_UNITY=OFF -DHERALD_PCH=OFF, whose
compile_commands.json then lists every source file with its own options. A
file that compiles only after the neighbours a unity build merges it with (an
include it lacks, a helper of theirs it uses) fails here, as it would in an
editor's tools or in a build without unity. Each file's check is a step of its
own, with the headers it read as its dependencies: a second run checks again
only what changed, and .ninja_log keeps each step's time.
"""

import json
import pathlib
import shlex
import sys


def ninja_escape(text):
    return text.replace("$", "$$").replace(" ", "$ ").replace(":", "$:").replace("\n", "$\n")


def checked_command(entry, stamp):
    arguments = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept = []
    skip = 0
    for argument in arguments:
        if skip:
            skip -= 1
            continue
        if argument in ("-o", "-MF", "-MT", "-MQ"):
            skip = 1
            continue
        if argument in ("-c", "-MD", "-MMD"):
            continue
        kept.append(argument)
    depfile = stamp + ".d"
    return kept + ["-fsyntax-only", "-MD", "-MT", stamp, "-MF", depfile]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: each-file.py BUILD_DIR")
    build = pathlib.Path(sys.argv[1]).resolve()
    entries = json.loads((build / "compile_commands.json").read_text())
    out = build / "each-file"
    out.mkdir(exist_ok=True)
    lines = [
        "# Written by scripts/each-file.py from ../compile_commands.json.",
        "rule check",
        "  command = cd $dir && $cmd && touch $out",
        "  description = each file on its own: $source",
        "  depfile = $out.d",
        "  deps = gcc",
        "",
    ]
    seen = set()
    for entry in entries:
        source = str(pathlib.Path(entry["directory"], entry["file"]).resolve())
        if source in seen or not source.endswith((".cpp", ".cc", ".cxx")):
            continue
        seen.add(source)
        stamp = str(out / "stamps" / (source.lstrip("/").replace("/", "_") + ".ok"))
        command = " ".join(shlex.quote(argument) for argument in checked_command(entry, stamp))
        lines += [
            f"build {ninja_escape(stamp)}: check {ninja_escape(source)}",
            f"  dir = {ninja_escape(entry['directory'])}",
            f"  source = {ninja_escape(source)}",
            f"  cmd = {command.replace('$', '$$')}",
            "",
        ]
    (out / "stamps").mkdir(exist_ok=True)
    (out / "build.ninja").write_text("\n".join(lines))
    print(f"each-file: {len(seen)} source files to check on their own")


if __name__ == "__main__":
    main()
