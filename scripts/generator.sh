# Sourced by the test scripts. A build folder configured before with another
# generator keeps its wine prefix, corpora and the like, but not its CMake cache,
# which would refuse the generator asked for (CMAKE_GENERATOR).
forget_other_generator() {  # forget_other_generator DIR
  local cache=$1/CMakeCache.txt
  if [ -f "$cache" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=${CMAKE_GENERATOR:-Unix Makefiles}" "$cache"; then
    rm -rf "$cache" "$1/CMakeFiles"
  fi
}
