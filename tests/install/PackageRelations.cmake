# Builds the Debian packages of the build tree with cpack into a fresh folder and checks the
# control fields of corvane-urdf-tools: the exact-version dependencies on the plugin and core
# packages, the dependencies dpkg-shlibdeps read from the program, the Recommends for the
# picture formats and the 3D page, Section and Description; and that it holds the program, its
# manual page and its completion. Prints a line with "skipped" where the Debian tools are missing.
# Arguments: -DCPACK= -DBUILD_DIR= -DWORK= -DVERSION= [-DMANUAL=ON]
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS CPACK BUILD_DIR WORK VERSION)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message(STATUS "skipped: dpkg-deb or dpkg-shlibdeps (package dpkg-dev) is missing")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK}"
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack -G DEB failed (${result}):\n${output}")
endif()
file(GLOB package "${WORK}/corvane-urdf-tools_${VERSION}_*.deb")
list(LENGTH package count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made no single corvane-urdf-tools package:\n${output}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -I "${package}" control
  OUTPUT_VARIABLE control ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-deb -I ${package} failed (${result}): ${errors}")
endif()

# field(<name> <out>): the value of a control field; continuation lines are kept.
function(field name out)
  if(NOT control MATCHES "(^|\n)${name}: ([^\n]*(\n [^\n]*)*)")
    message(FATAL_ERROR "${package}: no ${name} field:\n${control}")
  endif()
  set(${out} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

function(expect_relation field_name relation)
  field(${field_name} value)
  string(REGEX REPLACE ", *" ";" relations "${value}")
  list(FIND relations "${relation}" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "${package}: ${field_name} lacks '${relation}': ${value}")
  endif()
endfunction()

expect_relation(Depends "corvane-urdf-plugin (= ${VERSION})")
expect_relation(Depends "corvane-core (= ${VERSION})")
# Read from the program by dpkg-shlibdeps, not written by hand.
field(Depends depends)
foreach(library IN ITEMS libc6 libstdc\\+\\+6 liburdfdom-model)
  if(NOT depends MATCHES "(^|, )${library}[^,]*\\(>= ")
    message(FATAL_ERROR "${package}: Depends names no versioned ${library}: ${depends}")
  endif()
endforeach()
foreach(recommended IN ITEMS graphviz libjs-three chromium)
  expect_relation(Recommends ${recommended})
endforeach()
field(Package name)
field(Section section)
field(Description description)
if(NOT name STREQUAL "corvane-urdf-tools" OR NOT section STREQUAL "science")
  message(FATAL_ERROR "${package}: Package '${name}', Section '${section}':\n${control}")
endif()
if(NOT description MATCHES "^[^\n]+\n [^\n]*corvane-urdf")
  message(FATAL_ERROR "${package}: Description has no short line and long text:\n${description}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -c "${package}"
  OUTPUT_VARIABLE contents ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-deb -c ${package} failed (${result}): ${errors}")
endif()
set(files ./usr/bin/corvane-urdf ./usr/share/bash-completion/completions/corvane-urdf)
if(MANUAL)
  list(APPEND files ./usr/share/man/man1/corvane-urdf.1)
endif()
foreach(file IN LISTS files)
  string(FIND "${contents}" " ${file}\n" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "${package} does not hold ${file}:\n${contents}")
  endif()
endforeach()
message(STATUS "${package}:\n${control}")
file(REMOVE_RECURSE "${WORK}")
