# cmake -DENTRIES=FILE -DOUTPUT=FILE -DTITLE=TEXT -P WriteThirdPartyNotices.cmake
#
# An archive's THIRD-PARTY-NOTICES.txt from its entries (ThirdPartyNotices.cmake
# chose them): a summary, then each library with its licence text in full.
# Each library's section starts with a line "== NAME VERSION", which the check
# of the archives reads.
# Empty fields (no folders, nothing shipped) keep their places in an entry.
cmake_policy(SET CMP0007 NEW)
file(STRINGS ${ENTRIES} entries)
set(rule "================================================================================")
set(summary "")
set(sections "")
foreach(entry ${entries})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 version)
  list(GET fields 2 licence)
  list(GET fields 3 source)
  list(GET fields 4 copyright)
  list(GET fields 7 ships)
  set(more "")
  if(NOT ships STREQUAL "")
    # Code under the LGPL, in a file of its own that may be replaced by
    # another build of the same library.
    set(more ", then the licence's text in full.\n${ships} is that library, built unchanged from that source, and may be\nreplaced by another build of it")
  endif()
  string(APPEND summary "  ${name} ${version}: ${licence}\n")
  file(READ ${copyright} text)
  string(APPEND sections "\n${rule}\n== ${name} ${version}\n"
         "Licence: ${licence}\n"
         "Source: Debian's source package ${source}\n"
         "The licence text below is Debian's copyright file of that package${more}.\n"
         "${rule}\n\n${text}")
endforeach()
file(WRITE ${OUTPUT} "Third-party notices of ${TITLE}\n\n"
     "${TITLE} itself is under the MIT licence: see LICENSE, beside this file.\n"
     "The files of this archive hold code of the libraries below, each under its\n"
     "own licence, whose text follows in full.\n\n${summary}${sections}")
