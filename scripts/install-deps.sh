#!/usr/bin/env bash
# Installs with apt-get whatever the build and the tests need and is missing;
# does nothing when all of it is there. Debian 12, as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libspdlog-dev libfmt-dev libcli11-dev libsqlite3-dev libcurl4-openssl-dev
  libmariadb-dev  # the players' store on a MariaDB server, for a cluster on several machines
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev valgrind
  clang libclang-rt-14-dev clang-format-14  # the format check (scripts/check-format.sh)
  python3-jsonschema
  python3 chromium  # the preview page's test renders it in headless Chromium
  dpkg-dev tcl  # the Windows build's SQLite, made from Debian's source package (fetch-sqlite-source.sh)
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
