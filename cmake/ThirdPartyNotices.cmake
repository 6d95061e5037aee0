# The code of other projects that the archives ship, and the notices their
# licences ask to travel with it: each archive's THIRD-PARTY-NOTICES.txt, made
# at build time from the one list below, with the versions this tree really
# uses. Included by Packaging.cmake, once every target exists.
#
# An entry names a library, how a link takes it in, and a file of it on this
# machine: Debian's package that holds the file gives the source package it
# was built from, and that package's copyright file is the licence text.
#
#   herald_third_party(NAME VERSION LICENSE FILE
#                      [TARGETS targets...]   the CMake targets that bring it in
#                      [FOLDERS folders...]   where its static libraries lie,
#                                             as a linker map names them
#                      [SHIPS file]           a library of its own that the
#                                             archives carry beside ours
#                      [SOURCE text]          the source package and version,
#                      [COPYRIGHT file])      and the licence text, when they
#                                             are not FILE's package's
#
# For each archive the notices list the entries that its binaries link (their
# targets' link graph, read here, and the toolchain's runtime, in every binary
# of a static Windows link), and the build leaves beside them what each binary
# links, read from the link graph and from the linker's map:
# scripts/check-notices.py compares the two.

set(HERALD_NOTICES_DIR ${CMAKE_BINARY_DIR}/notices)
file(MAKE_DIRECTORY ${HERALD_NOTICES_DIR})
set_property(GLOBAL PROPERTY HERALD_THIRD_PARTY "")

# The value of a #define in a header: a number, or a string without its quotes.
function(herald_define_value header macro out)
  file(STRINGS ${header} line REGEX "^#define ${macro} ")
  string(REGEX REPLACE "^#define ${macro} +\"?([^\" ]*)\"?.*" "\\1" value "${line}")
  if(value STREQUAL "")
    message(FATAL_ERROR "${header} defines no ${macro}")
  endif()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# Debian's package that holds a file: the source package and version it was
# built from, its copyright file, and its upstream release (the version without
# epoch and Debian's revision).
function(herald_debian_source file out_source out_copyright out_release)
  execute_process(COMMAND dpkg-query --search ${file} OUTPUT_VARIABLE found RESULT_VARIABLE status
                  ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT found MATCHES "^([^:,]+)(:[^:,]+)?: ")
    message(FATAL_ERROR "${file} belongs to no Debian package: a shipped library's licence text comes from its package")
  endif()
  set(package ${CMAKE_MATCH_1})
  execute_process(COMMAND dpkg-query --show "--showformat=\${source:Package} \${source:Version}|\${Version}" ${package}
                  OUTPUT_VARIABLE shown OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REPLACE "|" ";" shown "${shown}")
  list(GET shown 0 source)
  list(GET shown 1 version)
  string(REGEX REPLACE "^[0-9]+:" "" release "${version}")
  string(REGEX REPLACE "-[^-]*$" "" release "${release}")
  set(copyright /usr/share/doc/${package}/copyright)
  if(NOT EXISTS ${copyright})
    message(FATAL_ERROR "${copyright} is missing: the licence text of ${package}'s code")
  endif()
  set(${out_source} "${source}" PARENT_SCOPE)
  set(${out_copyright} ${copyright} PARENT_SCOPE)
  set(${out_release} ${release} PARENT_SCOPE)
endfunction()

# VERSION may be left out: the upstream release of FILE's package is then its
# version.
function(herald_third_party name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "VERSION;LICENSE;FILE;SHIPS;SOURCE;COPYRIGHT" "TARGETS;FOLDERS")
  herald_debian_source(${arg_FILE} source copyright release)
  if(arg_SOURCE)
    set(source "${arg_SOURCE}")
  endif()
  if(arg_COPYRIGHT)
    set(copyright ${arg_COPYRIGHT})
  endif()
  if(NOT arg_VERSION)
    set(arg_VERSION ${release})
  endif()
  # One line per entry, its fields split by '|' and lists by ','.
  list(JOIN arg_TARGETS "," targets)
  list(JOIN arg_FOLDERS "," folders)
  set_property(GLOBAL APPEND PROPERTY HERALD_THIRD_PARTY
               "${name}|${arg_VERSION}|${arg_LICENSE}|${source}|${copyright}|${targets}|${folders}|${arg_SHIPS}")
endfunction()

# ---- The list ----------------------------------------------------------------

herald_define_value(/usr/include/nlohmann/detail/abi_macros.hpp NLOHMANN_JSON_VERSION_MAJOR json_major)
herald_define_value(/usr/include/nlohmann/detail/abi_macros.hpp NLOHMANN_JSON_VERSION_MINOR json_minor)
herald_define_value(/usr/include/nlohmann/detail/abi_macros.hpp NLOHMANN_JSON_VERSION_PATCH json_patch)
herald_third_party("nlohmann/json" VERSION ${json_major}.${json_minor}.${json_patch} LICENSE MIT
                   FILE /usr/include/nlohmann/json.hpp TARGETS nlohmann_json::nlohmann_json)

herald_define_value(/usr/include/spdlog/version.h SPDLOG_VER_MAJOR spdlog_major)
herald_define_value(/usr/include/spdlog/version.h SPDLOG_VER_MINOR spdlog_minor)
herald_define_value(/usr/include/spdlog/version.h SPDLOG_VER_PATCH spdlog_patch)
herald_third_party("spdlog" VERSION ${spdlog_major}.${spdlog_minor}.${spdlog_patch} LICENSE MIT
                   FILE /usr/include/spdlog/spdlog.h TARGETS spdlog::spdlog)

herald_define_value(/usr/include/fmt/core.h FMT_VERSION fmt_number)
math(EXPR fmt_major "${fmt_number} / 10000")
math(EXPR fmt_minor "${fmt_number} % 10000 / 100")
math(EXPR fmt_patch "${fmt_number} % 100")
herald_third_party("{fmt}" VERSION ${fmt_major}.${fmt_minor}.${fmt_patch} LICENSE MIT
                   FILE /usr/include/fmt/core.h TARGETS fmt::fmt)

herald_third_party("SQLite" VERSION ${SQLite3_VERSION} LICENSE "Public domain"
                   FILE /usr/include/sqlite3.h TARGETS SQLite::SQLite3 HeraldSQLite3)

# Shipped as its own DLL, not linked: the archives that carry it list it.
if(TARGET HeraldMariadbClient)
  herald_third_party("MariaDB Connector/C" VERSION ${HERALD_MARIADB_VERSION} LICENSE LGPL-2.1-or-later
                     FILE /usr/include/mariadb/mysql.h SHIPS libmariadb.dll
                     SOURCE "mariadb ${herald_mariadb_package_version} (its libmariadb folder)"
                     COPYRIGHT ${HERALD_MARIADB_NOTICE})
endif()

if(TARGET herald)
  herald_define_value(/usr/include/CLI/Version.hpp CLI11_VERSION cli11_version)
  herald_third_party("CLI11" VERSION ${cli11_version} LICENSE BSD-3-Clause
                     FILE /usr/include/CLI/Version.hpp TARGETS CLI11::CLI11)
endif()

# The toolchain's runtime, linked statically into every binary
# (cmake/mingw-w64.cmake).
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a OUTPUT_VARIABLE libstdcxx
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(libstdcxx ${libstdcxx} REALPATH)
  get_filename_component(herald_gcc_runtime_folder ${libstdcxx} DIRECTORY)
  # Debian's cross compiler reports its release as 12.0.0: its package knows
  # better.
  herald_third_party("GCC runtime libraries (libstdc++, libgcc)"
                     LICENSE "GPL-3.0-or-later WITH GCC-exception-3.1"
                     FILE ${libstdcxx} FOLDERS ${herald_gcc_runtime_folder})
  set(mingw_header /usr/${HERALD_MINGW_TRIPLE}/include/_mingw_mac.h)
  herald_define_value(${mingw_header} __MINGW64_VERSION_MAJOR mingw_major)
  herald_define_value(${mingw_header} __MINGW64_VERSION_MINOR mingw_minor)
  herald_define_value(${mingw_header} __MINGW64_VERSION_BUGFIX mingw_bugfix)
  herald_third_party("mingw-w64 runtime (CRT, winpthreads, import libraries)"
                     VERSION ${mingw_major}.${mingw_minor}.${mingw_bugfix}
                     LICENSE "ZPL-2.1, MIT and public domain, file by file"
                     FILE /usr/${HERALD_MINGW_TRIPLE}/lib/libwinpthread.a TARGETS Threads::Threads
                     FOLDERS /usr/${HERALD_MINGW_TRIPLE}/lib)
endif()

# Every entry, for the check: a library the notices do not list is known by
# what it is, not only as missing.
get_property(herald_all_entries GLOBAL PROPERTY HERALD_THIRD_PARTY)
list(JOIN herald_all_entries "\n" herald_all_entries)
file(WRITE ${HERALD_NOTICES_DIR}/entries.txt "${herald_all_entries}\n")

# ---- What each binary links --------------------------------------------------

# Every item a target links, through the libraries it links in turn: targets
# by name (an alias by the target it stands for), other items as written.
function(herald_link_closure target out)
  set(seen "")
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(NOT TARGET ${current})
      continue()
    endif()
    # The binary's own links; of what it links, only what that passes on
    # (a static library passes on all of its own, as $<LINK_ONLY:...>).
    if(current STREQUAL target)
      get_target_property(links ${current} LINK_LIBRARIES)
    else()
      get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
    endif()
    if(NOT links)
      set(links "")
    endif()
    foreach(item ${links})
      # $<LINK_ONLY:x> is still a link of x; other expressions hold none of
      # the libraries here.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(item MATCHES "^\\$<" OR item MATCHES "^-")
        continue()
      endif()
      if(TARGET ${item})
        get_target_property(aliased ${item} ALIASED_TARGET)
        if(aliased)
          set(item ${aliased})
        endif()
      endif()
      list(APPEND pending ${item})
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${target})
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# herald_notices(ARCHIVE DESTINATION TARGETS... [SHIPPED files...]): the
# archive's notices, made at build time into
# notices/ARCHIVE/THIRD-PARTY-NOTICES.txt and installed with LICENSE into
# DESTINATION; beside them, per target, what it links (TARGET.links, and the
# linker's TARGET.map) for the check. SHIPPED names the libraries of others
# the archive carries as files of their own.
function(herald_notices archive destination)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SHIPPED")
  get_property(entries GLOBAL PROPERTY HERALD_THIRD_PARTY)
  set(chosen "")
  foreach(entry ${entries})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 7 ships)
    if(NOT ships STREQUAL "" AND ships IN_LIST arg_SHIPPED)
      list(APPEND chosen "${entry}")
    endif()
  endforeach()
  foreach(target ${arg_UNPARSED_ARGUMENTS})
    herald_link_closure(${target} linked)
    set(lines "")
    foreach(item ${linked})
      if(TARGET ${item})
        get_target_property(imported ${item} IMPORTED)
        if(imported)
          list(APPEND lines "imported ${item}")
        else()
          list(APPEND lines "target ${item}")
        endif()
      else()
        list(APPEND lines "library ${item}")
      endif()
    endforeach()
    list(JOIN lines "\n" text)
    file(WRITE ${HERALD_NOTICES_DIR}/${target}.links "${text}\n")
    get_property(described GLOBAL PROPERTY HERALD_NOTICES_BINARIES)
    if(NOT target IN_LIST described)
      set_property(GLOBAL APPEND PROPERTY HERALD_NOTICES_BINARIES ${target})
      file(GENERATE OUTPUT ${HERALD_NOTICES_DIR}/${target}.binary CONTENT "$<TARGET_FILE_NAME:${target}>\n")
      if(NOT MSVC)
        # The linker's own account of the static libraries it took code from.
        target_link_options(${target} PRIVATE -Wl,-Map=${HERALD_NOTICES_DIR}/${target}.map)
      endif()
    endif()
    foreach(entry ${entries})
      string(REPLACE "|" ";" fields "${entry}")
      list(GET fields 5 targets)
      list(GET fields 6 folders)
      string(REPLACE "," ";" targets "${targets}")
      set(linked_here FALSE)
      if(NOT folders STREQUAL "")
        set(linked_here TRUE)  # the runtime, in every binary
      endif()
      foreach(name ${targets})
        if(name IN_LIST linked)
          set(linked_here TRUE)
        endif()
      endforeach()
      if(linked_here AND NOT entry IN_LIST chosen)
        list(APPEND chosen "${entry}")
      endif()
    endforeach()
  endforeach()

  list(JOIN chosen "\n" listed)
  set(list_file ${HERALD_NOTICES_DIR}/${archive}.entries)
  file(WRITE ${list_file} "${listed}\n")
  set(copyrights "")
  foreach(entry ${chosen})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 4 copyright)
    list(APPEND copyrights ${copyright})
  endforeach()
  set(output ${HERALD_NOTICES_DIR}/${archive}/THIRD-PARTY-NOTICES.txt)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DENTRIES=${list_file} -DOUTPUT=${output} "-DTITLE=${PROJECT_NAME} ${PROJECT_VERSION}"
            -P ${PROJECT_SOURCE_DIR}/cmake/WriteThirdPartyNotices.cmake
    DEPENDS ${list_file} ${copyrights} ${PROJECT_SOURCE_DIR}/cmake/WriteThirdPartyNotices.cmake
    COMMENT "Writing the third-party notices of the ${archive} archive")
  add_custom_target(HeraldNotices_${archive} ALL DEPENDS ${output})
  install(FILES ${output} ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${destination}
          COMPONENT ${archive})
endfunction()
