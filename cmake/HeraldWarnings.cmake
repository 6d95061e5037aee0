# Warnings are on in project code (third-party headers come in as SYSTEM);
# they are errors only with HERALD_WERROR, which the test scripts turn on. A
# user's plain build never fails on a warning of a compiler we have not met.
function(herald_enable_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${HERALD_WERROR}>:/WX>)
  else()
    # Partial aggregate initialisation relies on default member initialisers,
    # which GCC 12 still reports as missing.
    # -Winvalid-pch: a precompiled header the compiler can't use is said,
    # not silently parsed again.
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers -Winvalid-pch
                                             $<$<BOOL:${HERALD_WERROR}>:-Werror>)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      # GCC 12 at -O3 reports overlapping copies inside libstdc++'s own
      # std::string insertion ("literal" + std::string), which cannot overlap:
      # a false positive, GCC bug 105651. Off for those GCC releases only.
      target_compile_options(${target} PRIVATE -Wno-restrict)
      if(HERALD_PCH)
        # With libstdc++'s headers precompiled, GCC 12 no longer keeps its
        # own inlined string copies out of these warnings either, and
        # reports impossible sizes there ("between 9223372036854775810 and
        # 18446744073709551615", or "reading 64 bytes from a region of size
        # 16" when a string literal is appended to a string). Runtime bounds
        # are the sanitizer build's.
        target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
      endif()
    endif()
  endif()
endfunction()

# Applied to the whole build tree, so the plugin, the stand-in and the tests
# all carry the same instrumentation.
macro(herald_enable_sanitizers)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # The game's functions are reached by name as untyped addresses and called
    # with the parameter types the plugin knows them by (opaque game classes);
    # clang's function-type check would flag every such call.
    add_compile_options(-fno-sanitize=function)
  endif()
endmacro()
