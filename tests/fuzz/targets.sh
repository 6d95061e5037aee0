# shellcheck shell=bash disable=SC2034  # sourced: its variables are for the scripts
# Sourced by scripts/test-fuzz.sh and scripts/fuzz-long.sh, from the top of
# the tree: the targets of targets.txt and how every run of one is made.
#   FUZZ_TARGETS            the names, in the file's order
#   FUZZ_SEEDS[name]        its seed folder under tests/fuzz/seeds/
#   FUZZ_OPTIONS[name]      its own libFuzzer options
#   FUZZ_COMMON_OPTIONS     the options of every fuzzing run
#   fuzz_corpora DIR NAME   sets FUZZ_CORPORA: the working corpus in build
#                           folder DIR first (libFuzzer adds new inputs to the
#                           first), then the seeds and the example inputs
FUZZ_TARGETS=()
declare -A FUZZ_SEEDS=() FUZZ_OPTIONS=()
while read -r name seeds options; do
  [[ -z $name || $name == \#* ]] && continue
  FUZZ_TARGETS+=("$name")
  FUZZ_SEEDS[$name]=$seeds
  FUZZ_OPTIONS[$name]=$options
done < tests/fuzz/targets.txt

FUZZ_COMMON_OPTIONS=(-timeout=10 -rss_limit_mb=4096 -print_final_stats=1)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz_corpora() {
  local seeds=${FUZZ_SEEDS[$2]}
  FUZZ_CORPORA=("$1/corpus/$2" "tests/fuzz/seeds/$seeds")
  if [ -d "$1/example-seeds/$seeds" ]; then
    FUZZ_CORPORA+=("$1/example-seeds/$seeds")
  fi
}
