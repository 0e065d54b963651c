# Renders the installed manual page with man and checks that its OPTIONS section describes
# exactly the options the program's --help lists, that the extra sections are there, and that it
# carries the program's version.
# Arguments: -DMAN= -DCOL= -DPAGE= -DPROGRAM=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS MAN COL PAGE PROGRAM)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/HelpOptions.cmake)

if(NOT EXISTS "${PAGE}")
  message(FATAL_ERROR "not installed: ${PAGE}")
endif()
# Plain ASCII at a fixed width: no pager, no overstrikes (col -b), tabs as blanks (col -x).
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env LC_ALL=C MANWIDTH=100 MANPAGER=cat PAGER=cat
          "${MAN}" -l "${PAGE}"
  COMMAND "${COL}" -bx
  OUTPUT_VARIABLE page ERROR_VARIABLE errors RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  message(FATAL_ERROR "man -l ${PAGE} | col -bx failed (${results}): ${errors}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "man -l ${PAGE} complains:\n${errors}")
endif()

# Section headings start in the first column; option items are indented by seven blanks.
if(NOT page MATCHES "\nOPTIONS\n(.*)")
  message(FATAL_ERROR "${PAGE}: no OPTIONS section:\n${page}")
endif()
set(options_section "${CMAKE_MATCH_1}")
string(REGEX MATCH "\n[A-Z][^\n]*" next_heading "${options_section}")
if(next_heading)
  string(FIND "${options_section}" "${next_heading}" end)
  string(SUBSTRING "${options_section}" 0 ${end} options_section)
endif()
string(REGEX MATCHALL "\n       -[^ \n]+" items "\n${options_section}")
set(page_names "")
foreach(item IN LISTS items)
  string(STRIP "${item}" item)
  string(REPLACE "," ";" item_names "${item}")
  # Prose that the page wraps so that an option starts a line ("--x)", "--x.") names no option.
  list(FILTER item_names INCLUDE REGEX "^-[-A-Za-z0-9]+$")
  list(APPEND page_names ${item_names})
endforeach()
if(NOT page_names)
  message(FATAL_ERROR "${PAGE}: its OPTIONS section describes no option:\n${options_section}")
endif()
list(REMOVE_DUPLICATES page_names)
list(SORT page_names)

read_help("${PROGRAM}" help)
help_options("${help}" help_names)
set(missing ${help_names})
list(REMOVE_ITEM missing ${page_names})
set(unknown ${page_names})
list(REMOVE_ITEM unknown ${help_names})
if(missing OR unknown)
  message(FATAL_ERROR "${PAGE} and --help disagree: options missing from the page: '${missing}'; "
                      "options the program does not have: '${unknown}'\n${options_section}")
endif()

foreach(heading IN ITEMS NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "MESH SEARCH" EXAMPLES)
  string(FIND "${page}" "\n${heading}\n" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "${PAGE}: no section ${heading}:\n${page}")
  endif()
endforeach()
execute_process(COMMAND "${PROGRAM}" --version OUTPUT_VARIABLE version
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT page MATCHES "corvane-urdf ${version}")
  message(FATAL_ERROR "${PAGE} does not carry the version '${version}':\n${page}")
endif()
message(STATUS "${PAGE} describes the options ${help_names}")
