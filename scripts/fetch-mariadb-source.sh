#!/usr/bin/env bash
# Leaves MariaDB's Connector/C (the libmariadb folder of Debian's mariadb
# source package, with Debian's patches, and its licence) in DEST, for the
# Windows cross build to make libmariadb.dll of. The release installed here
# (the version of libmariadb-dev) is fetched when the archive offers its
# source; a security update's source that the mirror does not carry gives way
# to the newest release of the same Debian release that it does, whose version
# DEST/.version then names. Does nothing when DEST already holds a fetch for
# this libmariadb-dev.
#
#   bash scripts/fetch-mariadb-source.sh DEST
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DEST" >&2
  exit 2
fi
dest=$(realpath -m "$1")
installed=$(dpkg-query -W -f='${Version}' libmariadb-dev 2> /dev/null) || {
  echo "$0: libmariadb-dev is not installed; its version is the one to fetch" >&2
  exit 1
}
if [ -f "$dest/CMakeLists.txt" ] && [ "$(cat "$dest/.installed" 2> /dev/null)" = "$installed" ]; then
  exit 0
fi

work="$dest.fetch"
rm -rf "$work" "$dest" "$dest.new"
trap 'rm -rf "$work"' EXIT

# shellcheck source=scripts/debian-source.sh
source "$(dirname "$0")/debian-source.sh"
fetch_debian_source "$work" mariadb "$installed" --or-another

mv "$work/source/libmariadb" "$dest.new"
cp "$work/source/debian/copyright" "$dest.new/debian-copyright"
cat "$work/version" > "$dest.new/.version"
echo "$installed" > "$dest.new/.installed"
mv "$dest.new" "$dest"
