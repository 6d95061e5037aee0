#!/usr/bin/env bash
# Whether every C++ file of the tree (*.cpp and *.h under src/, host/, tools/,
# tests/ and bench/) is formatted as the repository's .clang-format says, with
# Debian's clang-format 14: the same release formats the same way on every
# machine, where another may move a line. Changes nothing; lists the files
# that differ and the command that formats them.
#
#   bash scripts/check-format.sh
#   CLANG_FORMAT=/usr/bin/clang-format-14 bash scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."

find_clang_format() {
  local candidate
  for candidate in ${CLANG_FORMAT:-} clang-format-14 clang-format; do
    if command -v "$candidate" > /dev/null 2>&1 &&
      "$candidate" --version | grep -q 'version 14\.'; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}
if ! clang_format=$(find_clang_format); then
  echo "check-format: clang-format 14 not found (apt-get install clang-format-14, or set CLANG_FORMAT)" >&2
  exit 2
fi

folders=()
for folder in src host tools tests bench; do
  if [ -d "$folder" ]; then folders+=("$folder"); fi
done
files=$(mktemp)
said=$(mktemp)
trap 'rm -f "$files" "$said"' EXIT
# The files git knows of, so that nothing generated or left over counts; a
# tree without git (an unpacked archive) is searched instead.
if [ ${#folders[@]} -eq 0 ]; then
  : # nothing to check
elif git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  git ls-files -z -- "${folders[@]/%//*.cpp}" "${folders[@]/%//*.h}" > "$files"
else
  find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 > "$files"
fi

# A few files a call, one call a core. clang-format reports each file it would
# change as FILE:LINE:COLUMN: error: ...; one report a file is enough to list it.
status=0
xargs -0 -r -n 8 -P "$(nproc)" "$clang_format" --style=file --dry-run --Werror --ferror-limit=1 < "$files" \
  > "$said" 2>&1 || status=$?
mapfile -t misformatted < <(sed -n 's/^\(.*\):[0-9][0-9]*:[0-9][0-9]*: error: code should be clang-formatted.*/\1/p' \
  "$said" | LC_ALL=C sort -u)

if [ ${#misformatted[@]} -eq 0 ]; then
  if [ $status -ne 0 ]; then
    # clang-format failed for another reason (a file it can't read, a broken
    # .clang-format): its own words say which.
    cat "$said" >&2
    echo "check-format: $clang_format failed" >&2
    exit 2
  fi
  echo "check-format: every C++ file is formatted ($(tr -cd '\0' < "$files" | wc -c) files)"
  exit 0
fi
echo "check-format: ${#misformatted[@]} C++ files are not formatted as .clang-format says:"
printf '  %s\n' "${misformatted[@]}"
echo "To format them: $clang_format -i ${misformatted[*]}"
exit 1
