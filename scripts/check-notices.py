#!/usr/bin/env python3
"""Checks an unpacked archive's THIRD-PARTY-NOTICES.txt against what its files
link, as the build recorded it (cmake/ThirdPartyNotices.cmake):

    python3 scripts/check-notices.py UNPACKED_ARCHIVE NOTICES_FOLDER BUILD_DIR

NOTICES_FOLDER is where, inside the archive, LICENSE and the notices lie.
Every DLL and executable of the archive must be one the build made, or a
library of others that the archive ships as a file of its own and whose
section the notices hold (libmariadb.dll), and each
library it links, read from its link graph (BUILD_DIR/notices/TARGET.links)
and from the linker's map (TARGET.map), must have its section in the notices.
The notices list nothing that no file of the archive holds. Exits 1 with one
line per fault.
"""

import os
import pathlib
import re
import sys


def read_entries(build):
    entries = []
    for line in (build / "notices" / "entries.txt").read_text().splitlines():
        if not line.strip():
            continue
        name, version, licence, source, copyright, targets, folders, ships = line.split("|")
        entries.append({
            "heading": f"{name} {version}",
            "ships": ships,
            "targets": [t for t in targets.split(",") if t],
            "folders": [os.path.realpath(f) for f in folders.split(",") if f],
        })
    return entries


def map_inputs(map_file, build):
    """The files the linker took code from: the archives whose members it
    included, and the objects it loaded. Relative paths are the build's."""
    inputs = set()
    for line in map_file.read_text(errors="replace").splitlines():
        match = re.match(r"(\S+\.a)\([^()]*\)\s*$", line) or re.match(r"LOAD (\S+)\s*$", line)
        if match:
            inputs.add(os.path.realpath(build / match.group(1)))
    return inputs


def covering(entries, item_kind, item, build):
    """The entry that covers a linked item, None for our own code, or the
    string 'uncovered'."""
    if item_kind in ("imported", "target"):
        for entry in entries:
            if item in entry["targets"]:
                return entry
        return None if item_kind == "target" else "uncovered"
    if item_kind == "library":  # a system library by name: its import library, or a name an entry gives
        for entry in entries:
            if item in entry["targets"]:
                return entry
            for folder in entry["folders"]:
                if os.path.exists(os.path.join(folder, f"lib{item}.a")):
                    return entry
        return "uncovered"
    real = os.path.realpath(item)
    if real.startswith(str(build) + os.sep):
        name = os.path.basename(real)
        for entry in entries:
            if any(name == f"lib{target}.a" for target in entry["targets"]):
                return entry
        return None
    for entry in entries:
        if any(real.startswith(folder + os.sep) for folder in entry["folders"]):
            return entry
    return "uncovered"


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: check-notices.py UNPACKED_ARCHIVE NOTICES_FOLDER BUILD_DIR")
    archive = pathlib.Path(sys.argv[1])
    folder = archive / sys.argv[2]
    build = pathlib.Path(os.path.realpath(sys.argv[3]))
    faults = []

    for required in ("LICENSE", "THIRD-PARTY-NOTICES.txt"):
        if not (folder / required).is_file():
            faults.append(f"{sys.argv[2]}/{required} is missing")
    if faults:
        print("\n".join(faults))
        return 1
    notices = (folder / "THIRD-PARTY-NOTICES.txt").read_text(errors="replace")
    listed = set(re.findall(r"^== (.+)$", notices, re.M))

    entries = read_entries(build)
    ours = {}
    for binary in (build / "notices").glob("*.binary"):
        ours[binary.read_text().strip()] = binary.stem

    needed = set()
    for path in sorted(archive.rglob("*")):
        if path.suffix.lower() not in (".dll", ".exe"):
            continue
        shown = path.relative_to(archive)
        shipped = [entry for entry in entries if entry["ships"] and entry["ships"] == path.name]
        if shipped:
            needed.add(shipped[0]["heading"])
            if shipped[0]["heading"] not in listed:
                faults.append(f"{shown} is that library, but the notices lack {shipped[0]['heading']}")
            continue
        target = ours.get(path.name)
        if target is None:
            faults.append(f"{shown}: not a file this build made, and no notice covers it")
            continue
        items = []
        for line in (build / "notices" / f"{target}.links").read_text().splitlines():
            if line.strip():
                kind, name = line.split(" ", 1)
                items.append((kind, name))
        map_file = build / "notices" / f"{target}.map"
        if not map_file.is_file():
            faults.append(f"{shown}: the linker's map {map_file} is missing")
        else:
            items += [("file", name) for name in sorted(map_inputs(map_file, build))]
        for kind, name in items:
            entry = covering(entries, kind, name, build)
            if entry == "uncovered":
                faults.append(f"{shown} links {name}, which no entry of the notices' list covers")
            elif entry is not None:
                needed.add(entry["heading"])
                if entry["heading"] not in listed:
                    faults.append(f"{shown} links {name}, but the notices lack {entry['heading']}")

    for heading in sorted(listed - needed):
        faults.append(f"the notices list {heading}, which no file of the archive holds")

    if faults:
        print("\n".join(sorted(set(faults))))
        return 1
    print(f"{sys.argv[2] or '.'}: {len(listed)} libraries in the notices, every one linked, none missing")
    return 0


if __name__ == "__main__":
    sys.exit(main())
