#!/usr/bin/env bash
# Fuzz smoke: builds the libFuzzer targets with clang into build-fuzz, replays
# every seed and every recorded regression, then fuzzes each target briefly
# (FUZZ_SECONDS each, 10 by default; 0 only builds and replays). Any finding
# fails the run; its input is left in build-fuzz/findings/ (FUZZ_BUILD_DIR
# chooses another build directory; FUZZ_BUILD one already configured, as
# scripts/test.sh's sanitizer tree is). The targets are those of
# tests/fuzz/targets.txt, with the options given there.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source tests/fuzz/targets.sh

# FUZZ_BUILD: a clang tree configured with HERALD_FUZZ=ON, as scripts/test.sh
# leaves build-sanitize/; otherwise a tree of its own.
dir=${FUZZ_BUILD:-${FUZZ_BUILD_DIR:-build-fuzz}}
seconds=${FUZZ_SECONDS:-10}

if [ -z "${FUZZ_BUILD:-}" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHERALD_TESTS=ON -DHERALD_FUZZ=ON -DHERALD_SANITIZE=ON -DHERALD_WERROR=ON > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; exit 1; }
fi
cmake --build "$dir" -j "$(nproc)" --target fuzz-targets

# Working corpora, kept between runs; the example inputs are made afresh:
# every configuration in examples/ (config files, and the configs written by
# scenarios) and every file herald check is tested on, for the targets whose
# seeds are configurations; every scenario in examples/, for the scenario
# target.
for target in "${FUZZ_TARGETS[@]}"; do
  mkdir -p "$dir/corpus/$target"
done
rm -rf "$dir/example-seeds"
mkdir -p "$dir/example-seeds/config" "$dir/example-seeds/scenario"
python3 - "$dir/example-seeds" <<'PY'
import hashlib, json, pathlib, sys
out = pathlib.Path(sys.argv[1])
def keep(text, kind="config"):
    data = text.encode() if isinstance(text, str) else text
    (out / kind / ("example-" + hashlib.sha1(data).hexdigest()[:16])).write_bytes(data)
for path in [*pathlib.Path("examples").rglob("*.json"), *pathlib.Path("tests/check-configs").glob("*.json")]:
    raw = path.read_bytes()
    try:
        document = json.loads(raw)
    except ValueError:
        keep(raw)
        continue
    if isinstance(document, dict) and "events" in document:
        keep(raw, "scenario")
        if "config" in document:
            keep(json.dumps(document["config"], indent=2))
        for event in document.get("events", []):
            if event.get("event") == "write_config":
                if "config" in event:
                    keep(json.dumps(event["config"], indent=2))
                elif "text" in event:
                    keep(event["text"])
    else:
        keep(raw)
PY

mkdir -p "$dir/findings"
# One target: its seeds and regressions replayed, then fuzzed; what it says
# goes to its own summary, printed in the list's order once all are done.
fuzz_one() {  # fuzz_one TARGET
  local target=$1 binary="$dir/bin/fuzz_$1"
  fuzz_corpora "$dir" "$target"
  echo "-- fuzz_$target: replaying seeds and regressions"
  "$binary" -runs=0 -artifact_prefix="$dir/findings/$target-" \
    "tests/fuzz/seeds/${FUZZ_SEEDS[$target]}" "tests/fuzz/regressions/$target" > "$dir/fuzz_$target.replay.log" 2>&1 \
    || { tail -50 "$dir/fuzz_$target.replay.log"; echo "fuzz_$target: a seed or regression fails"; return 1; }
  [ "$seconds" -gt 0 ] || return 0
  echo "-- fuzz_$target: fuzzing for $seconds s"
  # shellcheck disable=SC2086  # the target's options are words
  "$binary" -max_total_time="$seconds" "${FUZZ_COMMON_OPTIONS[@]}" ${FUZZ_OPTIONS[$target]} \
    -artifact_prefix="$dir/findings/$target-" "${FUZZ_CORPORA[@]}" > "$dir/fuzz_$target.log" 2>&1 \
    || { tail -60 "$dir/fuzz_$target.log"; echo "fuzz_$target: FINDING, input in $dir/findings/"; return 1; }
  grep -h 'stat::number_of_executed_units' "$dir/fuzz_$target.log" | sed "s/^/   fuzz_$target /"
}

# Each target is one process: as many at once as there are cores.
for target in "${FUZZ_TARGETS[@]}"; do
  rm -f "$dir/fuzz_$target.status"
  ( status=0; fuzz_one "$target" > "$dir/fuzz_$target.summary" 2>&1 || status=$?; echo "$status" > "$dir/fuzz_$target.status" ) &
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do sleep 0.2; done
done
wait
failed=0
for target in "${FUZZ_TARGETS[@]}"; do
  cat "$dir/fuzz_$target.summary"
  [ "$(cat "$dir/fuzz_$target.status" 2>/dev/null)" = 0 ] || failed=1
done
[ "$failed" -eq 0 ] || exit 1
echo "-- fuzz targets: nothing found"
