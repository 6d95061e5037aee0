# The heavy third-party headers (nlohmann/json, spdlog, GoogleTest), parsed
# once per group of targets instead of once per source file. A group is one
# target that makes the precompiled header and others that reuse it, all built
# with the same options; a group's targets need not include every header.
#
#   herald_precompile(TARGET HEADERS...)   TARGET makes its group's header
#   herald_reuse_precompiled(TARGET FROM)  TARGET reuses FROM's
#
# Off with -DHERALD_PCH=OFF. With -Winvalid-pch (herald_enable_warnings) a
# header the compiler can't use for a target is said, not parsed again quietly.
# A target built as one translation unit (HeraldUnityBuild.cmake) gains nothing
# from a precompiled header of its own.
option(HERALD_PCH "Precompile the third-party headers" ON)

function(herald_precompile target)
  if(HERALD_PCH)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

function(herald_reuse_precompiled target from)
  if(HERALD_PCH)
    target_precompile_headers(${target} REUSE_FROM ${from})
  endif()
endfunction()

