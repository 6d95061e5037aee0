# The heavy third-party headers (nlohmann/json, spdlog, GoogleTest), parsed
# once per group of targets instead of once per source file. A group is one
# target that makes the precompiled header and others that reuse it, all built
# with the same options; a group's targets need not include every header.
#
#   herald_precompile(TARGET HEADERS...)   TARGET makes its group's header
#   herald_reuse_precompiled(TARGET FROM)  TARGET reuses FROM's
#
# Off with -DHERALD_PCH=OFF. clang refuses a header made with other macros on
# the command line, which targets of a group may have, so the fuzz tree (the
# one clang tree) makes none.
option(HERALD_PCH "Precompile the third-party headers" ON)

function(herald_precompile target)
  if(HERALD_PCH AND NOT HERALD_FUZZ)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

function(herald_reuse_precompiled target from)
  if(HERALD_PCH AND NOT HERALD_FUZZ)
    target_precompile_headers(${target} REUSE_FROM ${from})
  endif()
endfunction()
