# The third-party libraries of the Windows cross build, all from the build
# machine's Debian packages: nlohmann::json, spdlog and fmt header-only,
# GoogleTest built from its sources, and SQLite built from Debian's source
# package of the installed release. They get the target names that
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

# herald_fetch_debian_source(SCRIPT DEST VERSION_VARIABLE): runs
# scripts/SCRIPT DEST, which leaves a library's source from Debian's source
# package in DEST (at once when it is there already), and sets the variable
# to the package's version it fetched. A failure stops the configuration.
function(herald_fetch_debian_source script dest version_variable)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/${script} ${dest}
                  RESULT_VARIABLE fetched OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "scripts/${script} failed:\n${said}")
  endif()
  file(READ ${dest}/.version version)
  string(STRIP "${version}" version)
  set(${version_variable} "${version}" PARENT_SCOPE)
endfunction()

# SQLite, the same release as the native build's libsqlite3-dev: its
# amalgamation made from Debian's source package of that version, with
# Debian's patches (scripts/fetch-sqlite-source.sh, which downloads it on the
# first configure and after an upgrade of libsqlite3-dev, and otherwise does
# nothing), compiled as a static library. SQLite::SQLite3 is the name
# find_package(SQLite3) gives it natively.
set(HERALD_SQLITE_SOURCE ${CMAKE_BINARY_DIR}/third-party/sqlite)
herald_fetch_debian_source(fetch-sqlite-source.sh ${HERALD_SQLITE_SOURCE} herald_sqlite_package_version)
file(STRINGS ${HERALD_SQLITE_SOURCE}/sqlite3.h herald_sqlite_version_line REGEX "^#define SQLITE_VERSION +\"")
string(REGEX REPLACE "^#define SQLITE_VERSION +\"([0-9.]+)\".*" "\\1" SQLite3_VERSION "${herald_sqlite_version_line}")
message(STATUS "SQLite ${SQLite3_VERSION} from Debian's sqlite3 ${herald_sqlite_package_version}, in ${HERALD_SQLITE_SOURCE}")

# The tree's C code, SQLite alone, is compiled with the C++ code's flags of
# each build type: the test scripts' -O1 without debug information then holds
# for it too (sqlite3.c takes about 12 s at -O1 with mingw, 25 s at -O2).
enable_language(C)
foreach(config DEBUG RELEASE RELWITHDEBINFO MINSIZEREL)
  set(CMAKE_C_FLAGS_${config} "${CMAKE_CXX_FLAGS_${config}}")
endforeach()

# Built only once something links it.
add_library(HeraldSQLite3 STATIC EXCLUDE_FROM_ALL ${HERALD_SQLITE_SOURCE}/sqlite3.c)
add_library(SQLite::SQLite3 ALIAS HeraldSQLite3)
target_include_directories(HeraldSQLite3 SYSTEM INTERFACE ${HERALD_SQLITE_SOURCE})
# Serialized threading, as Debian builds it; URI file names and a LIKE that
# never matches a BLOB, as Debian's library has them, so that a statement or a
# file name means the same in both builds. No loadable extensions: the plugin
# has none. Someone else's code: its warnings are not ours to read.
target_compile_definitions(HeraldSQLite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_USE_URI=1 SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(HeraldSQLite3 PRIVATE -w)

# MariaDB's Connector/C, for a players' store on a MariaDB server: its
# libmariadb folder of Debian's mariadb source package
# (scripts/fetch-mariadb-source.sh, which downloads it on the first configure
# and after an upgrade of libmariadb-dev), built with its own CMake as
# libmariadb.dll (TLS through Windows' own SChannel). It is under the LGPL 2.1:
# shipped as a library of its own beside the plugin, which loads it at first
# use (src/players/MariadbClient.h), never linked in. Its build leaves the DLL
# in bin/, beside the plugin, herald and the tests.
set(HERALD_MARIADB_SOURCE ${CMAKE_BINARY_DIR}/third-party/mariadb-connector-c)
herald_fetch_debian_source(fetch-mariadb-source.sh ${HERALD_MARIADB_SOURCE} herald_mariadb_package_version)
file(STRINGS ${HERALD_MARIADB_SOURCE}/CMakeLists.txt herald_mariadb_version_lines
     REGEX "^SET\\(CPACK_PACKAGE_VERSION_(MAJOR|MINOR|PATCH) [0-9]+\\)")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+).*" "\\1.\\2.\\3" HERALD_MARIADB_VERSION
       "${herald_mariadb_version_lines}")
message(STATUS "MariaDB Connector/C ${HERALD_MARIADB_VERSION} from Debian's mariadb ${herald_mariadb_package_version}")
# The licence text the notices carry: Debian's copyright file of the source
# package, then the LGPL's text in full.
file(READ ${HERALD_MARIADB_SOURCE}/debian-copyright herald_mariadb_copyright)
file(READ ${HERALD_MARIADB_SOURCE}/COPYING.LIB herald_mariadb_lgpl)
set(HERALD_MARIADB_NOTICE ${CMAKE_BINARY_DIR}/third-party/mariadb-connector-c-notice.txt)
file(WRITE ${HERALD_MARIADB_NOTICE} "${herald_mariadb_copyright}\n\n${herald_mariadb_lgpl}")

include(ExternalProject)
set(herald_mariadb_build ${CMAKE_BINARY_DIR}/third-party/mariadb-connector-c-build)
ExternalProject_Add(HeraldMariadbClient
  SOURCE_DIR ${HERALD_MARIADB_SOURCE}
  BINARY_DIR ${herald_mariadb_build}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_C_FLAGS=-w -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF -DWITH_CURL=OFF -DWITH_EXTERNAL_ZLIB=OFF
             -DCLIENT_PLUGIN_DIALOG=OFF -DCLIENT_PLUGIN_AUTH_GSSAPI_CLIENT=OFF -DCLIENT_PLUGIN_REMOTE_IO=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target libmariadb
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libmariadb/libmariadb.dll ${CMAKE_BINARY_DIR}/bin/libmariadb.dll
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/bin/libmariadb.dll
  USES_TERMINAL_BUILD OFF)
set(HERALD_MARIADB_DLL ${CMAKE_BINARY_DIR}/bin/libmariadb.dll)
# Its headers, the generated one among them, once it is configured.
add_library(HeraldMariadbHeaders INTERFACE)
target_include_directories(HeraldMariadbHeaders SYSTEM INTERFACE ${HERALD_MARIADB_SOURCE}/include
                                                                  ${herald_mariadb_build}/include)
add_dependencies(HeraldMariadbHeaders HeraldMariadbClient)
