#!/usr/bin/env bash
# Soak: a generated scenario (1,000,000 spawns of every kind across the maps,
# 100 players joining and leaving, a reload every 10,000 spawns, alternately
# broken and good) played through herald with the real plugin library. Every
# announcement must arrive as accounted, no game memory may be left, herald's
# resident memory must stay flat after the first tenth of the play, and its
# peak (the first pass that checks the scenario included) must stay under
# SOAK_PEAK_LIMIT_MIB (250) whatever the number of spawns.
#   scripts/soak.sh [SPAWNS] [RELOAD-EVERY]        (SOAK_BUILD_DIR: default build)
set -euo pipefail
cd "$(dirname "$0")/.."
spawns=${1:-1000000}
reload_every=${2:-10000}
dir=${SOAK_BUILD_DIR:-build}

if [ ! -x "$dir/bin/herald" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$(nproc)" --target herald
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 scripts/make-soak-scenario.py generate "$work/soak.json" "$work/expected.json" \
  --spawns "$spawns" --players 100 --reload-every "$reload_every"
mkfifo "$work/transcript"
"$dir/bin/herald" run "$work/soak.json" --json > "$work/transcript" &
herald=$!
status=0
python3 scripts/make-soak-scenario.py check "$work/expected.json" --pid "$herald" \
  --samples "${SOAK_SAMPLES:-$work/memory.tsv}" --peak-limit-mib "${SOAK_PEAK_LIMIT_MIB:-250}" \
  < "$work/transcript" || status=1
wait "$herald" || { echo "herald failed"; status=1; }
[ $status -eq 0 ] && echo "soak: every announcement accounted for, nothing left, memory flat" || echo "soak: FAILED"
exit $status
