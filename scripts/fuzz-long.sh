#!/usr/bin/env bash
# Long fuzzing: every target (or the ones named) for SECONDS each, side by
# side, on the build that scripts/test-fuzz.sh makes. Prints each target's
# executions at the end; exits non-zero when any target found something.
#   scripts/fuzz-long.sh [SECONDS] [config|names|text ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(config names text)
dir=${FUZZ_BUILD_DIR:-build-fuzz}

# Build, corpora and a replay of every seed and regression first.
FUZZ_SECONDS=0 bash scripts/test-fuzz.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/findings"

pids=()
for target in "${targets[@]}"; do
  nice "$dir/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$target-" "$dir/corpus/$target" "tests/fuzz/seeds/$target" \
    > "$dir/fuzz-long-$target.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  if wait "${pids[$i]}"; then result=clean; else result="FINDING (see $dir/findings/)"; status=1; fi
  runs=$(grep -h 'stat::number_of_executed_units' "$dir/fuzz-long-${targets[$i]}.log" | awk '{print $2}')
  echo "fuzz_${targets[$i]}: ${runs:-?} executions in ${seconds} s, $result"
done
exit $status
