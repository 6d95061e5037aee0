# Targets whose sources are compiled as one translation unit (a unity build).
#
#   herald_one_translation_unit(TARGETS...)
#
# A library's files share the heavy third-party headers and instantiate the
# same templates of them, which each file of its own compiles again: as one
# translation unit they are compiled once. So a target's helpers in anonymous
# namespaces need names unique in the target.
#
# Off with -DHERALD_UNITY=OFF: every file is then compiled on its own, as an
# editor's tools see it (compile_commands.json lists every source file), and an
# include that a file lacks but a merged neighbour supplied is an error. The
# test command builds one tree that way.
option(HERALD_UNITY "Compile each library and test executable as one translation unit" ON)

function(herald_one_translation_unit)
  if(HERALD_UNITY)
    set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  endif()
endfunction()
