#!/usr/bin/env bash
# Instructions per spawn on the hot paths, counted by callgrind: unlike times
# they are the same on a busy machine. Each path is run with the plugin loaded
# and, for comparison, with its floor (what the game and the framework make any
# implementation pay); the run fails when the plugin's count exceeds its budget
# in scripts/callgrind-budgets.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

# CALLGRIND_BUILD: a Release tree configured with HERALD_BENCHMARKS=ON, as
# scripts/test.sh leaves build/; otherwise a tree of its own.
dir=${CALLGRIND_BUILD:-build-bench}
budgets=${CALLGRIND_BUDGETS:-scripts/callgrind-budgets.txt}

if [ -z "${CALLGRIND_BUILD:-}" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DHERALD_BENCHMARKS=ON -DHERALD_TESTS=OFF -DHERALD_WERROR=ON \
    > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
fi
cmake --build "$dir" -j "$(nproc)" --target herald_hotpaths

# Instructions inside the measured loop, divided by the number of spawns.
count() {  # count PATH SIDE PLAYERS SPAWNS
  local out
  out=$(valgrind --tool=callgrind --toggle-collect=HeraldMeasuredSpawns --callgrind-out-file=/dev/null \
    "$dir/bin/herald_hotpaths" "$@" 2>&1) || { echo "$out"; return 1; }
  local collected
  collected=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' <<< "$out")
  [ -n "$collected" ] || { echo "$out"; return 1; }
  echo $((collected / $4))
}

failed=0
passed=0
printf '%-22s %8s %12s %12s %7s %10s\n' path players "Ir/spawn" "floor Ir" ratio budget
while read -r path players spawns budget; do
  case "$path" in ''|'#'*) continue ;; esac
  plugin=$(count "$path" plugin "$players" "$spawns")
  floor=$(count "$path" floor "$players" "$spawns")
  ratio=$(awk -v a="$plugin" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')
  verdict=ok
  if [ "$plugin" -gt "$budget" ]; then
    verdict="OVER BUDGET"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  printf '%-22s %8s %12s %12s %7s %10s  %s\n' "$path" "$players" "$plugin" "$floor" "$ratio" "$budget" "$verdict"
done < "$budgets"

echo "budgets: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
