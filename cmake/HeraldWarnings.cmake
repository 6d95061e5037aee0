# Warnings are errors in project code; third-party headers come in as SYSTEM.
function(herald_enable_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    # Partial aggregate initialisation relies on default member initialisers,
    # which GCC 12 still reports as missing.
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers)
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
