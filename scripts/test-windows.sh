#!/usr/bin/env bash
# The plugin as a 64-bit Windows DLL: cross-built with mingw-w64, its tests and
# the example scenarios run under Wine, and the archive an admin unpacks into
# the server checked file by file.
#
#   bash scripts/test-windows.sh
#   HERALD_WINDOWS_BUILD=/tmp/somewhere bash scripts/test-windows.sh
#
# The Wine prefix lives inside the build directory, so nothing outside it is
# touched. The native build (HERALD_LINUX_BUILD, default build/, as
# scripts/test.sh leaves it) gives the Linux transcripts to compare with.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)

build=$(realpath -m "${HERALD_WINDOWS_BUILD:-build-windows}")
linux_build=$(realpath -m "${HERALD_LINUX_BUILD:-build}")
jobs=$(nproc)
objdump=x86_64-w64-mingw32-objdump
wine=/usr/lib/wine/wine64

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAILED: $1"; }
check() {  # check DESCRIPTION COMMAND...
  local description=$1; shift
  if "$@"; then pass "$description"; else fail "$description"; fi
}
timed() {  # timed LABEL COMMAND...: runs it, says how long it took, keeps its status
  local label=$1 start=$SECONDS status=0; shift
  "$@" || status=$?
  echo "-- $label took $((SECONDS - start)) s"
  return $status
}

install() { bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64; }
timed "installing mingw-w64 and Wine" install

source scripts/generator.sh
configure_and_build() {
  forget_other_generator "$build"
  # Optimised, without debug information, which no one reads under Wine: at
  # -O1 the tree compiles in two thirds of the time of RelWithDebInfo.
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" -DHERALD_WERROR=ON \
    > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
  cmake --build "$build" -j "$jobs"
}

mkdir -p "$build"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
stop_wine() { WINEPREFIX="$build/wineprefix" wineserver -k > /dev/null 2>&1 || true; }
trap stop_wine EXIT

make_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 "$wine" wineboot -i > "$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; exit 1; }
  fi
}
# Wine makes its prefix while the build compiles: it mostly waits.
make_prefix &
prefix=$!
timed "the Windows build" configure_and_build
timed "the rest of the Wine prefix, made during the build" wait "$prefix"

# Each test executable runs whole under Wine (the toolchain's emulator); the
# timeout turns a load that hangs into a failure.
run_tests() { ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600; }
check "every test executable passes under Wine" timed "the test executables under Wine" run_tests

# ---- Import and export tables -------------------------------------------------

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort; }

# Windows' own libraries, which every server has. The C++ runtime is linked in
# statically, so libstdc++, libgcc and winpthread must not appear. Further
# system DLLs one binary alone may import follow the file.
only_system_and_host() {  # FILE [DLL...]
  local file=$1 dll status=0
  shift
  for dll in $(imports "$file"); do
    case "$dll" in
      kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll | ole32.dll | ws2_32.dll | api-ms-win-*) ;;
      libheraldhost.dll) ;;
      *) [[ " $* " == *" $dll "* ]] || { echo "  $file imports $dll"; status=1; } ;;
    esac
  done
  return $status
}
imports_host() { imports "$1" | grep -qx libheraldhost.dll; }
exports_nothing() { ! "$objdump" -p "$1" | grep -q "^The Export Tables"; }

plugin="$build/bin/SkyCrateHerald.dll"
check "the plugin imports only system DLLs and the host's library" only_system_and_host "$plugin"
check "the plugin takes the framework's services from the host's library" imports_host "$plugin"
check "the plugin exports nothing (its entry is DllMain)" exports_nothing "$plugin"
for binary in "$build"/bin/*.exe; do
  check "$(basename "$binary") needs no runtime DLL beside it" only_system_and_host "$binary"
done
# The stand-in's live web requests go through the system's WinHTTP.
check "libHeraldHost.dll needs no runtime DLL beside it" \
  only_system_and_host "$build/bin/libHeraldHost.dll" winhttp.dll

# ---- The archive ---------------------------------------------------------------

make_package() { (cd "$build" && cpack -G ZIP > "$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }; }
timed "cpack" make_package

archive=$(ls "$build"/SkyCrateHerald-[0-9]*-win64.zip)
unpacked="$build/unpacked-package"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$archive")
plugin_folder="$unpacked/ArkApi/Plugins/SkyCrateHerald"

layout() {
  local expected actual
  expected=$(printf '%s\n' ArkApi/Plugins/SkyCrateHerald/INSTALL.txt ArkApi/Plugins/SkyCrateHerald/LICENSE \
    ArkApi/Plugins/SkyCrateHerald/SkyCrateHerald.dll ArkApi/Plugins/SkyCrateHerald/THIRD-PARTY-NOTICES.txt \
    ArkApi/Plugins/SkyCrateHerald/config.json ArkApi/Plugins/SkyCrateHerald/config.schema.json \
    ArkApi/Plugins/SkyCrateHerald/libmariadb.dll)
  actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || { echo "  archive holds:"; echo "$actual" | sed 's/^/    /'; return 1; }
}
no_debug_sections() { ! "$objdump" -h "$1" | grep -q '\.debug_'; }
check "the archive unpacks to exactly the plugin folder's seven files" layout
check "the packaged licence is LICENSE" cmp -s "$plugin_folder/LICENSE" LICENSE
# The notices against what the build linked (cmake/ThirdPartyNotices.cmake).
check "the plugin archive's notices cover every library its files link, and no other" \
  python3 scripts/check-notices.py "$unpacked" ArkApi/Plugins/SkyCrateHerald "$build"
# The check itself finds a notice taken out: each library's section in turn.
a_missing_notice_is_found() {
  local copy="$build/notices-check" heading status=0
  while IFS= read -r heading; do
    rm -rf "$copy" && cp -r "$unpacked" "$copy"
    python3 - "$copy/ArkApi/Plugins/SkyCrateHerald/THIRD-PARTY-NOTICES.txt" "$heading" <<'PY'
import sys, pathlib
path = pathlib.Path(sys.argv[1])
path.write_text(path.read_text().replace("== " + sys.argv[2] + "\n", "== (taken out)\n"))
PY
    if python3 scripts/check-notices.py "$copy" ArkApi/Plugins/SkyCrateHerald "$build" > "$copy.out"; then
      echo "  the notices without $heading passed"; status=1
    elif ! grep -qF "lack $heading" "$copy.out"; then
      echo "  without $heading:"; cat "$copy.out"; status=1
    fi
  done < <(sed -n 's/^== //p' "$plugin_folder/THIRD-PARTY-NOTICES.txt")
  rm -rf "$copy" "$copy.out"
  return $status
}
check "a library's notice taken out of the plugin archive is found" a_missing_notice_is_found
check "the packaged config.json is the example configuration" cmp -s "$plugin_folder/config.json" examples/config.json
check "the packaged schema is the example schema" cmp -s "$plugin_folder/config.schema.json" examples/config.schema.json
check "the packaged install note is packaging/INSTALL.txt" cmp -s "$plugin_folder/INSTALL.txt" packaging/INSTALL.txt
check "the packaged library carries no debug information" no_debug_sections "$plugin_folder/SkyCrateHerald.dll"
check "the packaged library imports only system DLLs and the host's library" \
  only_system_and_host "$plugin_folder/SkyCrateHerald.dll"

# The unpacked archive is a server folder: its library loads with its config.
unpacked_loads() {
  local output
  output=$(cd "$build" && HERALD_PACKAGE_DIR="$unpacked" timeout 300 "$wine" bin/plugin_tests.exe \
    --gtest_filter=PackageTest.TheUnpackedArchiveRunsOnAServer 2>&1) || { echo "$output"; return 1; }
  # A skip would also exit 0.
  grep -q '^\[  PASSED  \] 1 test' <<< "$output" && ! grep -q 'SKIPPED' <<< "$output" || { echo "$output"; return 1; }
}
check "the unpacked archive's library loads with its config under Wine" unpacked_loads

# ---- Example scenarios: the same transcripts as on Linux -------------------------

scenarios=(examples/scenarios/*.json)
if [ ! -f tools/CMakeLists.txt ] || [ ! -e "${scenarios[0]}" ]; then
  echo "-- skipped: the example transcripts (tools/ or examples/scenarios/ not there yet)"
else
  compare_transcripts() {
    local scenario name windows golden linux_herald="$linux_build/bin/herald"
    for scenario in "${scenarios[@]}"; do
      name=$(basename "$scenario" .json)
      windows="$build/transcripts/$name.windows.jsonl"
      mkdir -p "$build/transcripts"
      # Windows writes its text-mode newlines as CR LF; the lines are what count.
      if ! timeout 300 "$wine" "$build/bin/herald.exe" run "$scenario" --json 2>&1 | tr -d '\r' > "$windows"; then
        fail "herald.exe runs $name"
        continue
      fi
      golden="tests/golden/$name.jsonl"
      if [ -f "$golden" ]; then
        check "$name: the Windows transcript matches tests/golden/$name.jsonl" diff "$golden" "$windows"
      fi
      if [ -x "$linux_herald" ]; then
        "$linux_herald" run "$scenario" --json > "$build/transcripts/$name.linux.jsonl" 2>&1 || true
        check "$name: the Windows transcript is the Linux one" diff "$build/transcripts/$name.linux.jsonl" "$windows"
      else
        echo "-- $name: no Linux herald in $linux_build, compared with the golden transcript only"
      fi
    done
  }
  timed "the example scenarios under Wine" compare_transcripts
fi

# ---- The tools archive, unpacked afresh: what an admin runs on their own machine --

tools_archive=$(ls "$build"/SkyCrateHerald-tools-[0-9]*-win64.zip)
tools="$build/unpacked-tools"
rm -rf "$tools" && mkdir -p "$tools"
(cd "$tools" && cmake -E tar xf "$tools_archive")

tools_layout() {
  local file status=0
  for file in herald.exe libHeraldHost.dll SkyCrateHerald.dll LICENSE THIRD-PARTY-NOTICES.txt \
      examples/config.json examples/config.schema.json \
      examples/scenarios/tour.json examples/scenarios/reload.json docs/config.md docs/scenarios.md docs/preview.md \
      docs/deploying.md; do
    [ -f "$tools/$file" ] || { echo "  the tools archive lacks $file"; status=1; }
  done
  return $status
}
check "the tools archive holds herald.exe, its libraries, the examples, the schema, the admin docs and the notices" \
  tools_layout
check "the tools archive's notices cover every library its files link, and no other" \
  python3 scripts/check-notices.py "$tools" . "$build"

# Run from inside the unpacked folder, as an admin would, with relative paths,
# so nothing of the build tree can be found by accident.
in_tools() { (cd "$tools" && timeout 300 "$wine" herald.exe "$@" 2>&1 | tr -d '\r'); }
tools_check() {
  local output; output=$(in_tools check examples/config.json)
  grep -q '^examples/config.json: nothing to report$' <<< "$output" || { echo "$output"; return 1; }
}
tools_preview() {
  local output
  output=$(in_tools preview examples/config.json --html preview.html) || { echo "$output"; return 1; }
  grep -q 'notification' <<< "$output" || { echo "$output" | head -20; return 1; }
  [ -s "$tools/preview.html" ] && grep -q '<html' "$tools/preview.html" && ! grep -q 'https\?://' "$tools/preview.html" \
    || { echo "  preview.html missing, empty or not self-contained"; return 1; }
}
tools_run() {
  local name golden
  for name in tour reload; do
    golden="tests/golden/$name.jsonl"
    in_tools run "examples/scenarios/$name.json" --json > "$build/transcripts/$name.tools.jsonl" || return 1
    diff "$golden" "$build/transcripts/$name.tools.jsonl" || return 1
  done
}
# herald.exe preview --serve under Wine: the page over plain HTTP, a save
# seen through the event stream and the page fetched again, the way a browser
# follows it; a body refused at once, and a second herald.exe on the same port
# refused (Windows lets a port be shared unless its listener forbids it).
tools_serve() {
  local status=0
  cp examples/config.json "$tools/serve-config.json"
  (cd "$tools" && exec timeout 120 "$wine" herald.exe preview serve-config.json --serve --port 0 \
    > "$build/serve.out" 2> "$build/serve.err") &
  local server=$!
  python3 - "$build/serve.out" "$tools/serve-config.json" "$tools" "$wine" <<'PYTHON' || status=1
import re, subprocess, sys, time, urllib.error, urllib.request
out, config, tools, wine = sys.argv[1:5]
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    found = re.search(r"http://127\.0\.0\.1:(\d+)/", open(out, encoding="utf-8", errors="replace").read())
    if found:
        break
    time.sleep(0.2)
else:
    sys.exit("  herald.exe printed no address")
port = found.group(1)
url = "http://127.0.0.1:%s/" % port
page = urllib.request.urlopen(url, timeout=30).read().decode("utf-8")
if "White supply crate (level 3) dropped at 50.0 / 50.0" not in page:
    sys.exit("  the served page lacks the example's first announcement")
stream = urllib.request.urlopen(url + "events?since=none", timeout=30)
text = open(config, encoding="utf-8").read()
def next_page_event():
    lines = []
    for raw in stream:
        line = raw.decode("utf-8").rstrip("\r\n")
        if not line and "event: page" in lines:
            return "\n".join(lines)
        lines = [] if not line else lines + [line]
next_page_event()
open(config, "w", encoding="utf-8").write(text.replace("White supply crate", "Wine supply crate"))
event = next_page_event()
if len(event) > 200:
    sys.exit("  the page event carries %d bytes, more than a version" % len(event))
if "Wine supply crate (level 3) dropped at 50.0 / 50.0" not in urllib.request.urlopen(url, timeout=30).read().decode():
    sys.exit("  the page fetched after a save lacks the change")
try:
    urllib.request.urlopen(urllib.request.Request(url, data=b"x" * 10000, method="POST"), timeout=30)
    sys.exit("  a POST was answered as a page")
except urllib.error.HTTPError as error:
    if error.code != 405:
        sys.exit("  a POST was answered %d, not 405" % error.code)
second = subprocess.run([wine, "herald.exe", "preview", "serve-config.json", "--serve", "--port", port], cwd=tools,
                        capture_output=True, text=True, timeout=120)
said = second.stderr.replace("\r", "")
if second.returncode != 2 or "herald: can't listen on 127.0.0.1:%s: the port is in use" % port not in said:
    sys.exit("  a second herald.exe on the same port: exit %d, %r" % (second.returncode, said))
PYTHON
  kill "$server" 2> /dev/null || true
  wait "$server" 2> /dev/null || true
  [ $status -eq 0 ] || { head -5 "$build/serve.out" "$build/serve.err"; }
  return $status
}

mkdir -p "$build/transcripts"
check "the unpacked tools serve the preview page and follow a save under Wine" tools_serve
check "the unpacked tools check the example config clean under Wine" tools_check
check "the unpacked tools preview the example config as a page under Wine" tools_preview
check "the unpacked tools play the example scenarios as on Linux under Wine" tools_run

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
