#!/usr/bin/env bash
# Instructions per spawn on the hot paths, counted by callgrind: unlike times
# they are the same on a busy machine. Each path is run with the plugin loaded
# and, for comparison, with its floor (what the game and the framework make any
# implementation pay); the run fails when the plugin's count exceeds its
# floor's by more than the ratio limit of scripts/callgrind-budgets.txt.
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

# Instructions inside the measured loop, divided by the number of spawns (or
# of chat lines, on the chat-change path).
count() {  # count PATH SIDE PLAYERS SPAWNS
  local out
  out=$(valgrind --tool=callgrind --toggle-collect=HeraldMeasuredSpawns --toggle-collect=HeraldMeasuredChats \
    --callgrind-out-file=/dev/null \
    "$dir/bin/herald_hotpaths" "$@" 2>&1) || { echo "$out"; return 1; }
  local collected
  collected=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' <<< "$out")
  [ -n "$collected" ] || { echo "$out"; return 1; }
  echo $((collected / $4))
}

# The limit as a percentage, read from the file's "# ratio-limit 1.25" line.
limit=$(sed -n 's/^# ratio-limit \([0-9]*\)\.\([0-9][0-9]\)$/\1\2/p' "$budgets")
[ -n "$limit" ] || { echo "no ratio limit in $budgets"; exit 1; }

failed=0
passed=0
printf '%-22s %8s %12s %12s %7s %7s\n' path players "Ir/spawn" "floor Ir" ratio limit
while read -r path players spawns; do
  case "$path" in ''|'#'*) continue ;; esac
  plugin=$(count "$path" plugin "$players" "$spawns")
  floor=$(count "$path" floor "$players" "$spawns")
  ratio=$(awk -v a="$plugin" -v b="$floor" 'BEGIN { printf "%.3f", a / b }')
  verdict=ok
  if [ $((plugin * 100)) -gt $((floor * limit)) ]; then
    verdict="OVER THE LIMIT"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  printf '%-22s %8s %12s %12s %7s %4d.%02d  %s\n' "$path" "$players" "$plugin" "$floor" "$ratio" \
    $((limit / 100)) $((limit % 100)) "$verdict"
done < "$budgets"

echo "ratios: $passed within the limit, $failed over it"
[ "$failed" -eq 0 ]
