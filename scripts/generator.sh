# Sourced by the test scripts. Their trees are built with Ninja unless
# CMAKE_GENERATOR says otherwise: it starts a target's sources while what it
# links is still linking, and logs each step's time (.ninja_log), of which
# scripts/test.sh's report shows the slowest. The same default in every script,
# so that one run alone (scripts/test-windows.sh) reuses the tree that
# scripts/test.sh left rather than configuring and building it again.
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}

# A build folder configured before with another generator keeps its wine
# prefix, corpora and the like, but not its CMake cache, which would refuse the
# generator asked for.
forget_other_generator() {  # forget_other_generator DIR
  local cache=$1/CMakeCache.txt
  if [ -f "$cache" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=${CMAKE_GENERATOR:-Unix Makefiles}" "$cache"; then
    rm -rf "$cache" "$1/CMakeFiles"
  fi
}
