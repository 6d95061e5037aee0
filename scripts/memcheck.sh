#!/usr/bin/env bash
# valgrind memcheck over every example scenario, played by herald with the
# real plugin library: any memory error, any definitely or indirectly lost
# block, or game memory left after unload fails the run.
#   scripts/memcheck.sh                  (MEMCHECK_BUILD_DIR: default build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${MEMCHECK_BUILD_DIR:-build}
bash scripts/install-deps.sh

if [ ! -x "$dir/bin/herald" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
fi
cmake --build "$dir" -j "$(nproc)" --target herald

status=0
count=0
for scenario in examples/scenarios/*.json; do
  [ -e "$scenario" ] || continue
  count=$((count + 1))
  log=$(mktemp)
  if valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --show-leak-kinds=definite,indirect --track-origins=yes --quiet --log-file="$log" \
      "$dir/bin/herald" run "$scenario" --json > "$log.out"; then
    if grep -q '"type": "memory", "live_blocks": 0, "live_bytes": 0' "$log.out"; then
      echo "memcheck $scenario: 0 errors, nothing lost"
    else
      echo "memcheck $scenario: game memory left after unload"; tail -1 "$log.out"; status=1
    fi
  else
    echo "memcheck $scenario: FAILED"; cat "$log"; status=1
  fi
  rm -f "$log" "$log.out"
done
[ $count -gt 0 ] || { echo "memcheck: no scenarios in examples/scenarios"; exit 1; }
exit $status
