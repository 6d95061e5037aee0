# The third-party libraries of the Windows cross build, all from the build
# machine's Debian packages: nlohmann::json, spdlog and fmt header-only, and
# GoogleTest built from its sources. They get the target names that
# find_package gives them in the native build, so the rest of the tree does
# not care which build it is in.

# Only these three header folders are exposed to the Windows compiler: adding
# /usr/include itself would shadow the mingw runtime's headers with glibc's.
set(HERALD_HEADER_ONLY_ROOT ${CMAKE_BINARY_DIR}/header-only-include)
file(MAKE_DIRECTORY ${HERALD_HEADER_ONLY_ROOT})
foreach(folder nlohmann spdlog fmt)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install nlohmann-json3-dev, libspdlog-dev and libfmt-dev")
  endif()
  if(NOT EXISTS ${HERALD_HEADER_ONLY_ROOT}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${HERALD_HEADER_ONLY_ROOT}/${folder} SYMBOLIC)
  endif()
endforeach()

# The same JSON library release as the native build insists on.
file(READ /usr/include/nlohmann/detail/abi_macros.hpp herald_json_macros)
set(herald_json_version "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "#define NLOHMANN_JSON_VERSION_${part} +([0-9]+)" ignored "${herald_json_macros}")
  list(APPEND herald_json_version "${CMAKE_MATCH_1}")
endforeach()
list(JOIN herald_json_version "." herald_json_version)
if(NOT herald_json_version VERSION_EQUAL 3.11.2)
  message(FATAL_ERROR "nlohmann::json ${herald_json_version} found, 3.11.2 needed")
endif()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${HERALD_HEADER_ONLY_ROOT})

add_library(fmt::fmt INTERFACE IMPORTED GLOBAL)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${HERALD_HEADER_ONLY_ROOT}
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)

# Debian's spdlog is configured for an external fmt (its tweakme.h). Defined
# empty, as spdlog's own headers define it, so the two definitions agree.
add_library(spdlog::spdlog INTERFACE IMPORTED GLOBAL)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${HERALD_HEADER_ONLY_ROOT}
  INTERFACE_COMPILE_DEFINITIONS "SPDLOG_HEADER_ONLY=;SPDLOG_FMT_EXTERNAL"
  INTERFACE_LINK_LIBRARIES fmt::fmt)

# GoogleTest and GoogleMock from Debian's googletest sources; their CMake files
# define the GTest::gtest, GTest::gmock and GTest::gtest_main aliases.
macro(herald_add_googletest)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endmacro()
