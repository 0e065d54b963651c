# Runs the installed corvane-urdf from its prefix, without LD_LIBRARY_PATH, on a robot and checks
# that it prints what the program in the build tree prints, with the plugin and host core
# libraries of the prefix (not of the build tree) and no search path into the build.
# Arguments: -DINSTALLED= -DBUILT= -DPREFIX= -DLIBDIR= -DROBOT= -DREADELF=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS INSTALLED BUILT PREFIX LIBDIR ROBOT READELF)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

function(run_tool program out)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=LD_LIBRARY_PATH "${program}" ${ARGN}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} ${ARGN} failed (${result}):\n${errors}")
  endif()
  if(output STREQUAL "")
    message(FATAL_ERROR "${program} ${ARGN} printed nothing:\n${errors}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${INSTALLED}")
  message(FATAL_ERROR "not installed: ${INSTALLED}")
endif()

execute_process(COMMAND "${READELF}" --dynamic "${INSTALLED}"
  OUTPUT_VARIABLE dynamic ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${READELF} --dynamic ${INSTALLED} failed (${result}): ${errors}")
endif()
string(REGEX MATCHALL "\\((RUNPATH|RPATH)\\)[^\n]*" paths "${dynamic}")
if(NOT paths MATCHES "^\\((RUNPATH|RPATH)\\)[^[]*\\[\\$ORIGIN/\\.\\./${LIBDIR}\\]$")
  message(FATAL_ERROR "${INSTALLED}: search path is not just $ORIGIN/../${LIBDIR}: ${paths}")
endif()

# The dynamic loader's own answer to where the libraries come from.
execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=LD_LIBRARY_PATH ldd "${INSTALLED}"
  OUTPUT_VARIABLE libraries ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ldd ${INSTALLED} failed (${result}): ${errors}")
endif()
get_filename_component(prefix "${PREFIX}" REALPATH)
foreach(library IN ITEMS libcorvaneurdfplugin libcorvane-core)
  if(NOT libraries MATCHES "${library}\\.so\\.[0-9]+ => ([^ \n]+)")
    message(FATAL_ERROR "${INSTALLED} does not load ${library}:\n${libraries}")
  endif()
  get_filename_component(found "${CMAKE_MATCH_1}" REALPATH)
  string(FIND "${found}" "${prefix}/${LIBDIR}/" position)
  if(NOT position EQUAL 0)
    message(FATAL_ERROR "${INSTALLED} loads ${library} from ${found}, not from ${prefix}/${LIBDIR}")
  endif()
endforeach()

foreach(format IN ITEMS text json)
  run_tool("${INSTALLED}" installed_output -f ${format} "${ROBOT}")
  run_tool("${BUILT}" built_output -f ${format} "${ROBOT}")
  if(NOT installed_output STREQUAL built_output)
    file(WRITE "${PREFIX}/../installed.${format}" "${installed_output}")
    file(WRITE "${PREFIX}/../built.${format}" "${built_output}")
    message(FATAL_ERROR "-f ${format}: the installed program prints other than the built one; "
                        "see ${PREFIX}/../installed.${format} and built.${format}")
  endif()
endforeach()
message(STATUS "${INSTALLED} prints for ${ROBOT} what ${BUILT} prints, as text and as JSON")
