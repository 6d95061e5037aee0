#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a Release
# build, as users build it, and once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Every build here treats warnings as errors
# (HERALD_WERROR); a user's own build does not.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
phases=()
phase() {  # phase NAME COMMAND...: runs it and keeps how long it took
  local name=$1 start=$SECONDS; shift
  "$@"
  phases+=("$(printf '%-58s %4d s' "$name" $((SECONDS - start)))")
}
report() {
  echo "== Where the time went"
  printf '  %s\n' "${phases[@]}"
  printf '  %-58s %4d s\n' "total" "$SECONDS"
  local dir
  for dir in build build-sanitize build-each-file/each-file build-windows; do
    [ -f "$dir/.ninja_log" ] || continue
    echo "  slowest steps of $dir:"
    # .ninja_log: start and end in ms, then the output; a step run again
    # (after a change) counts once, at its latest. The last stage reads all
    # it is given: a stage that stopped early would end sort with SIGPIPE,
    # and under pipefail the whole command with it.
    awk -F'\t' 'NR > 1 { took[$4] = $2 - $1 } END { for (out in took) printf "%7.1f s  %s\n", took[out] / 1000, out }' \
      "$dir/.ninja_log" | sort -rn | awk 'NR <= 5 { print "  " $0 }'
  done
}
# The Windows suite's process group, while it runs in the background.
windows_pid=
callgrind_pid=
each_file_pid=
sanitize_pid=
stop_background() {
  [ -z "$windows_pid" ] || kill -- "-$windows_pid" 2> /dev/null || true
  local pid
  for pid in "$callgrind_pid" "$each_file_pid" "$sanitize_pid"; do
    [ -z "$pid" ] || kill "$pid" 2> /dev/null || true
  done
}
trap 'stop_background; report' EXIT

# A private MariaDB server for the tests of the players' store on one (mariadb-test-server.sh).
phase "install what is missing" bash scripts/install-deps.sh mariadb-server
# Before anything is built: a misformatted file fails the command in seconds.
phase "format of every C++ file (clang-format 14)" bash scripts/check-format.sh
# Ninja for every tree (scripts/generator.sh).
source scripts/generator.sh
build() {  # build DIR BUILD-TYPE CMAKE-ARGS...
  local dir=$1 type=$2; shift 2
  forget_other_generator "$dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DHERALD_WERROR=ON "$@" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
}

# Every file of the plugin, the stand-in and herald checked on its own
# (scripts/each-file.py): a file that compiles only merged with its neighbours
# in a unity build fails here. For syntax and meaning alone, with no code
# generated, and with no precompiled header, which would hide a missing
# include. In the background from the start, at the lowest priority: it takes a
# core when the rest leaves one idle (a build's last long step, tests that wait
# on herald and the browser), and otherwise next to nothing from them.
each_file_check() {
  forget_other_generator build-each-file
  cmake -S . -B build-each-file -DCMAKE_BUILD_TYPE= -DHERALD_UNITY=OFF -DHERALD_PCH=OFF -DHERALD_TESTS=OFF \
    -DHERALD_WERROR=ON > build-each-file.configure.log 2>&1 || { cat build-each-file.configure.log; return 1; }
  python3 scripts/each-file.py build-each-file
  nice -n 19 ninja -C build-each-file/each-file -j "$jobs" -k 0
}
each_file_start=$(date +%s)
each_file_check > build-each-file.log 2>&1 &
each_file_pid=$!

# The plain build is Release: the first build type a user types, and the one
# with the most optimisation, whose warnings the others may not show.
# Its benchmarks are what the callgrind budgets count (test-callgrind.sh).
echo "== Build and test (Release)"
phase "Release: build, benchmarks included" build build Release -DHERALD_BENCHMARKS=ON

# From here on two more jobs run beside the phases below: they share the
# cores, and the steps of one that leave a core idle (Wine starting, tests
# waiting on herald or the browser, a build's last long step) are filled by
# the others' work. Each one's output is kept in its log and shown when it is
# waited for.
#
# The Windows suite (mingw-w64 and Wine), in a session of its own so that it can
# be stopped whole. It needs the Release tree's herald, to compare transcripts
# with.
windows_start=$(date +%s)
setsid bash scripts/test-windows.sh > build-windows.log 2>&1 &
windows_pid=$!

# The callgrind budgets: callgrind counts instructions, which other work does
# not change.
export CALLGRIND_BUILD=build FUZZ_BUILD=build-sanitize
bash scripts/test-callgrind.sh > build/callgrind.log 2>&1 &
callgrind_pid=$!

# The tree under AddressSanitizer and UndefinedBehaviorSanitizer, with clang,
# and the fuzz targets in the same tree: one build serves both the suite under
# the sanitizers and the fuzz smoke (test-fuzz.sh). At -O1, as
# AddressSanitizer's own documentation advises (unoptimised, the tests run for
# twice as long as the tree takes less to compile), with line tables only: the
# sanitizers' reports keep their files and lines. Without NDEBUG: the JSON
# library's assertions then stop the tests and the fuzzers at what the
# sanitizers do not see, such as a const operator[] on a key that is not there:
# undefined behaviour that reads memory the sanitizers count as valid.
sanitize_build() {
  CC=clang CXX=clang++ build build-sanitize RelWithDebInfo -DHERALD_SANITIZE=ON -DHERALD_FUZZ=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only"
}
phase "Release: tests (the jobs above beside them)" ctest --test-dir build --output-on-failure -j "$jobs"
echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
phase "sanitizers: build" sanitize_build
phase "sanitizers: tests" env ASAN_OPTIONS=detect_leaks=1 \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "== scripts/test-callgrind.sh (in the background since the Release build)"
callgrind_status=0
wait_callgrind() { wait "$callgrind_pid" || callgrind_status=$?; }
phase "waiting for the callgrind budgets" wait_callgrind
callgrind_pid=
cat build/callgrind.log
[ "$callgrind_status" -eq 0 ] || { echo "== The callgrind budgets failed"; exit 1; }

# Further suites, each its own script, run when present.
for extra in scripts/test-*.sh; do
  case "$extra" in scripts/test-windows.sh | scripts/test-callgrind.sh) continue ;; esac
  [ -e "$extra" ] || continue
  echo "== $extra"
  phase "$extra" bash "$extra"
done

echo "== Every file on its own (in the background since the start)"
each_file_status=0
wait_each_file() { wait "$each_file_pid" || each_file_status=$?; }
phase "waiting for the check of every file on its own" wait_each_file
each_file_pid=
# Its log's last write is its end.
phases+=("$(printf '%-58s %4d s' "every file on its own: check, from its start to its end" \
  $(($(stat -c %Y build-each-file.log) - each_file_start)))")
tail -2 build-each-file.log
[ "$each_file_status" -eq 0 ] || { cat build-each-file.log; echo "== A file does not compile on its own"; exit 1; }

echo "== scripts/test-windows.sh (in the background since the Release build)"
windows_status=0
wait_windows() { wait "$windows_pid" || windows_status=$?; }
phase "waiting for the Windows suite" wait_windows
windows_pid=
# Its log's last write is its end, which may be well before this wait.
phases+=("$(printf '%-58s %4d s' "Windows suite, from its start in the background to its end" \
  $(($(stat -c %Y build-windows.log) - windows_start)))")
cat build-windows.log
[ "$windows_status" -eq 0 ] || { echo "== The Windows suite failed"; exit 1; }
echo "== All tests passed"
