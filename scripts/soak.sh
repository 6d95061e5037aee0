#!/usr/bin/env bash
# Soak: a generated scenario (1,000,000 spawns of every kind across the maps,
# 100 players joining and leaving with one to six connected, cooldowns and
# MinPlayers, 1,000 waits over 20 hours of game time, a reload every 10,000
# spawns, alternately broken and good) played through herald with the real
# plugin library. Every announcement and digest must arrive as accounted,
# every spawn must be accounted for (announced, told of in a digest, held at
# unload, held with too few players, or not for announcing), no game memory
# may be left, herald's resident memory must stay flat after the first tenth
# of the play, and its peak (the first pass that checks the scenario
# included) must stay under SOAK_PEAK_LIMIT_MIB (250) whatever the number of
# spawns.
#   scripts/soak.sh [SPAWNS] [RELOAD-EVERY]        (SOAK_BUILD_DIR: default build)
#   scripts/soak.sh quick                          (20,000 spawns, a reload every 1,000: about 10 s)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = quick ]; then
  spawns=20000
  reload_every=1000
else
  spawns=${1:-1000000}
  reload_every=${2:-10000}
fi
dir=${SOAK_BUILD_DIR:-build}

if [ ! -x "$dir/bin/herald" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$(nproc)" --target herald
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 scripts/make-soak-scenario.py generate "$work/soak.json" "$work/expected.json" \
  --spawns "$spawns" --players 100 --reload-every "$reload_every" --hours "${SOAK_HOURS:-20}"
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
