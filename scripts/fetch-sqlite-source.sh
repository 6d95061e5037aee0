#!/usr/bin/env bash
# Leaves SQLite's amalgamation (sqlite3.c, sqlite3.h, sqlite3ext.h) in DEST,
# made from Debian's own source package of the release installed here (the
# version of libsqlite3-dev) with Debian's patches applied, so that the Windows
# cross build links the same SQLite as the native one. Does nothing when DEST
# already holds that version.
#
#   bash scripts/fetch-sqlite-source.sh DEST
#
# The machine's apt configuration is left as it is: the source entries are a
# private copy of its own Debian entries, as deb-src, and the indexes they
# fetch live in a work folder beside DEST, removed at the end. apt checks the
# package's files against the signed index it fetched, so dpkg-source needs no
# signature check of its own. Needs dpkg-dev (dpkg-source), a C compiler and
# tclsh (package tcl), with which SQLite's own build generates the amalgamation.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DEST" >&2
  exit 2
fi
dest=$(realpath -m "$1")
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2> /dev/null) || {
  echo "$0: libsqlite3-dev is not installed; its version is the one to fetch" >&2
  exit 1
}
if [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ] && [ "$(cat "$dest/.version" 2> /dev/null)" = "$version" ]; then
  exit 0
fi

work="$dest.fetch"
rm -rf "$work" "$dest" "$dest.new"
trap 'rm -rf "$work"' EXIT

# shellcheck source=scripts/debian-source.sh
source "$(dirname "$0")/debian-source.sh"
fetch_debian_source "$work" sqlite3 "$version"

# ---- The amalgamation -------------------------------------------------------------

if [ -f "$work/source/sqlite3.c" ] && [ -f "$work/source/sqlite3.h" ]; then
  amalgamation="$work/source"
else
  # Generated the way the package's own build does, with its configure script
  # and Makefile, in a folder of its own.
  command -v tclsh > /dev/null || { echo "$0: tclsh is missing: install tcl" >&2; exit 1; }
  amalgamation="$work/generate"
  mkdir -p "$amalgamation"
  (cd "$amalgamation" && "$work/source/configure" --disable-tcl > configure.log 2>&1 \
    && make -j "$(nproc)" sqlite3.c > make.log 2>&1) \
    || { tail -40 "$amalgamation/configure.log" "$amalgamation/make.log" >&2; exit 1; }
fi

mkdir -p "$dest.new"
cp "$amalgamation/sqlite3.c" "$amalgamation/sqlite3.h" "$dest.new/"
if [ -f "$amalgamation/sqlite3ext.h" ]; then
  cp "$amalgamation/sqlite3ext.h" "$dest.new/"
else
  cp "$work/source/src/sqlite3ext.h" "$dest.new/"
fi
cp "$work/source/debian/copyright" "$dest.new/copyright"
echo "$version" > "$dest.new/.version"
rm -rf "$dest"
mv "$dest.new" "$dest"
