#!/usr/bin/env bash
# Long fuzzing: every target of tests/fuzz/targets.txt (or the ones named) for
# SECONDS each, side by side, on the build that scripts/test-fuzz.sh makes.
# Prints each target's executions at the end; exits non-zero when any target
# found something.
#   scripts/fuzz-long.sh [SECONDS] [TARGET ...]     e.g. 3600 config config_load
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/fuzz/targets.sh
seconds=${1:-3600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${FUZZ_TARGETS[@]}")
for target in "${targets[@]}"; do
  [ -n "${FUZZ_SEEDS[$target]+known}" ] \
    || { echo "fuzz-long: no target \"$target\" (targets: ${FUZZ_TARGETS[*]})" >&2; exit 2; }
done
dir=${FUZZ_BUILD_DIR:-build-fuzz}

# Build, corpora and a replay of every seed and regression first.
FUZZ_SECONDS=0 bash scripts/test-fuzz.sh
mkdir -p "$dir/findings"

pids=()
for target in "${targets[@]}"; do
  fuzz_corpora "$dir" "$target"
  # shellcheck disable=SC2086  # the target's options are words
  nice "$dir/bin/fuzz_$target" -max_total_time="$seconds" "${FUZZ_COMMON_OPTIONS[@]}" ${FUZZ_OPTIONS[$target]} \
    -artifact_prefix="$dir/findings/$target-" "${FUZZ_CORPORA[@]}" > "$dir/fuzz-long-$target.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  if wait "${pids[$i]}"; then result=clean; else result="FINDING (see $dir/findings/)"; status=1; fi
  runs=$(grep -h 'stat::number_of_executed_units' "$dir/fuzz-long-${targets[$i]}.log" | awk '{print $2}')
  echo "fuzz_${targets[$i]}: ${runs:-?} executions in ${seconds} s, $result"
done
exit $status
