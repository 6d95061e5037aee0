#!/usr/bin/env bash
# The product's main job on this machine: installs what is missing, builds
# the plugin and the herald program if needed, then plays the tour of every
# announced kind on each map, a reload session (console and RCON, good and
# broken files) and SkyCrateHerald.Test, and prints what the players and the
# admin received.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${HERALD_BUILD_DIR:-build}
if [ ! -x "$build/bin/herald" ] || [ ! -e "$build/bin/SkyCrateHerald.so" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
fi
# Rebuilds only what changed; quiet unless something fails.
cmake --build "$build" -j 2 --target herald > "$build/tour-build.log" 2>&1 || { cat "$build/tour-build.log"; exit 1; }
echo "== Tour: every announced kind on its map"
"$build/bin/herald" run examples/scenarios/tour.json "$@"
echo
echo "== Reload session: console and RCON, good and broken config.json"
"$build/bin/herald" run examples/scenarios/reload.json "$@"
echo
echo "== SkyCrateHerald.Test: each kind of key, on the console and over RCON, and every refusal"
"$build/bin/herald" run examples/scenarios/test-command.json "$@"
