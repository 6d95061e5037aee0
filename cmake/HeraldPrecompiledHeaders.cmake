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
#
#   herald_one_translation_unit(TARGETS...)  each target's sources as one file
#
# A library's files share those headers and instantiate the same templates of
# them, which each file of its own compiled again: as one translation unit (a
# unity build) they are compiled once. So a target's helpers in anonymous
# namespaces need names unique in the target. A target of one translation
# unit gains nothing from a precompiled header of its own.
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

function(herald_one_translation_unit)
  set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
endfunction()
