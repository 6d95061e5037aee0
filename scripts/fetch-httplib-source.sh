#!/usr/bin/env bash
# Debian's source package of cpp-httplib, the release of the installed
# libcpp-httplib-dev, unpacked into DEST (with Debian's patches applied): the
# Windows build compiles its whole httplib.h, since the Debian package's header
# declares only what its Linux library defines.
#
#   bash scripts/fetch-httplib-source.sh DEST
#
# The machine's apt configuration is left alone: the source index and the
# package are fetched with a list of their own, under DEST's parent.
set -euo pipefail
dest=$(realpath -m "$1")
version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev)
if [ -f "$dest/httplib.h" ] && [ "$(cat "$dest/.version" 2>/dev/null)" = "$version" ]; then
  exit 0
fi
work="$dest.fetch"
rm -rf "$work" "$dest" && mkdir -p "$work/lists/partial" "$work/parts"
cat > "$work/parts/debian.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/parts" -o "Dir::State::Lists=$work/lists")
apt-get -qq update "${apt_options[@]}"
(cd "$work" && apt-get -qq source --download-only "${apt_options[@]}" "cpp-httplib=$version" 2> /dev/null)
# apt checked the package against the signed index; dpkg-source's own check of
# the maintainer's signature has no keyring here and would only warn.
dpkg-source --no-check -x "$work"/cpp-httplib_*.dsc "$dest" > /dev/null
echo "$version" > "$dest/.version"
rm -rf "$work"
