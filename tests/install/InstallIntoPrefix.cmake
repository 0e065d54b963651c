# Installs the build tree into fresh temporary prefixes with `cmake --install` and checks where the
# files land: everything into PREFIX, and each component into its own prefix to show that the
# plugin, the host core stand-in and the command-line tool can be installed without each other.
# TOOL_FILES lists, separated by commas, the files of the component "tools" (empty when the tool
# is not built).
# Arguments: -DCMAKE_EXECUTABLE= -DBUILD_DIR= -DCONFIG= -DPREFIX= -DLIBDIR= -DINCLUDEDIR=
#            -DVERSION= -DSOVERSION= -DREADELF= [-DTOOL_FILES=a,b]
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS CMAKE_EXECUTABLE BUILD_DIR CONFIG PREFIX LIBDIR INCLUDEDIR VERSION
                          SOVERSION READELF)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

string(REPLACE "," ";" TOOL_FILES "${TOOL_FILES}")

function(install_into prefix)
  file(REMOVE_RECURSE "${prefix}")
  execute_process(
    COMMAND "${CMAKE_EXECUTABLE}" --install "${BUILD_DIR}" --config "${CONFIG}" --prefix "${prefix}"
            ${ARGN}
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install ${ARGN} into ${prefix} failed (${result}):\n${output}")
  endif()
endfunction()

function(expect_files prefix)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${prefix}/${file}")
      message(FATAL_ERROR "missing after install: ${prefix}/${file}")
    endif()
  endforeach()
endfunction()

function(expect_no_files prefix)
  foreach(file IN LISTS ARGN)
    if(EXISTS "${prefix}/${file}")
      message(FATAL_ERROR "installed although its component was not asked for: ${prefix}/${file}")
    endif()
  endforeach()
endfunction()

# Checks the SONAME and that no search path into the build tree survived the install.
function(expect_shared_library prefix name)
  set(real "${prefix}/${LIBDIR}/lib${name}.so.${VERSION}")
  expect_files("${prefix}" "${LIBDIR}/lib${name}.so.${VERSION}")
  foreach(link IN ITEMS "lib${name}.so.${SOVERSION}" "lib${name}.so")
    if(NOT IS_SYMLINK "${prefix}/${LIBDIR}/${link}")
      message(FATAL_ERROR "${prefix}/${LIBDIR}/${link} is not a symbolic link to ${real}")
    endif()
  endforeach()
  execute_process(COMMAND "${READELF}" --dynamic "${real}"
    OUTPUT_VARIABLE dynamic ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${READELF} --dynamic ${real} failed (${result}): ${errors}")
  endif()
  if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[lib${name}\\.so\\.${SOVERSION}\\]")
    message(FATAL_ERROR "${real}: no SONAME lib${name}.so.${SOVERSION}:\n${dynamic}")
  endif()
  # Only a search path relative to the library itself may remain.
  string(REGEX MATCHALL "\\((RUNPATH|RPATH)\\)[^\n]*" paths "${dynamic}")
  foreach(path IN LISTS paths)
    if(NOT path MATCHES "\\[\\$ORIGIN\\]$")
      message(FATAL_ERROR "${real}: keeps a search path from the build: ${path}")
    endif()
  endforeach()
endfunction()

set(plugin_files
  "${INCLUDEDIR}/corvane/UrdfPlugin.hpp"
  "${LIBDIR}/cmake/CorvaneUrdfPlugin/CorvaneUrdfPluginConfig.cmake"
  "${LIBDIR}/cmake/CorvaneUrdfPlugin/CorvaneUrdfPluginConfigVersion.cmake"
  "${LIBDIR}/cmake/CorvaneUrdfPlugin/CorvaneUrdfPluginTargets.cmake"
  "${LIBDIR}/pkgconfig/corvaneurdfplugin.pc")
set(host_files
  "${INCLUDEDIR}/corvane/Plugin.hpp"
  "${INCLUDEDIR}/corvane/Syntax.hpp"
  "${LIBDIR}/cmake/CorvaneCore/CorvaneCoreConfig.cmake"
  "${LIBDIR}/cmake/CorvaneCore/CorvaneCoreTargets.cmake"
  "${LIBDIR}/pkgconfig/corvane-core.pc")

install_into("${PREFIX}")
expect_shared_library("${PREFIX}" corvaneurdfplugin)
expect_shared_library("${PREFIX}" corvane-core)
expect_files("${PREFIX}" ${plugin_files} ${host_files} ${TOOL_FILES})

# The pkg-config files name the prefix installed to, not the one the build was configured with.
file(READ "${PREFIX}/${LIBDIR}/pkgconfig/corvaneurdfplugin.pc" pc)
string(FIND "\n${pc}" "\nprefix=${PREFIX}\n" prefix_line)
if(prefix_line EQUAL -1)
  message(FATAL_ERROR "corvaneurdfplugin.pc does not name the prefix ${PREFIX}:\n${pc}")
endif()

install_into("${PREFIX}-plugin-only" --component plugin)
expect_files("${PREFIX}-plugin-only" ${plugin_files} "${LIBDIR}/libcorvaneurdfplugin.so")
expect_no_files("${PREFIX}-plugin-only" ${host_files} "${LIBDIR}/libcorvane-core.so" ${TOOL_FILES})

install_into("${PREFIX}-host-only" --component host)
expect_files("${PREFIX}-host-only" ${host_files} "${LIBDIR}/libcorvane-core.so")
expect_no_files("${PREFIX}-host-only" ${plugin_files} "${LIBDIR}/libcorvaneurdfplugin.so"
                ${TOOL_FILES})

if(TOOL_FILES)
  install_into("${PREFIX}-tools-only" --component tools)
  expect_files("${PREFIX}-tools-only" ${TOOL_FILES})
  expect_no_files("${PREFIX}-tools-only" ${plugin_files} ${host_files}
                  "${LIBDIR}/libcorvaneurdfplugin.so" "${LIBDIR}/libcorvane-core.so")
endif()
file(REMOVE_RECURSE "${PREFIX}-plugin-only" "${PREFIX}-host-only" "${PREFIX}-tools-only")
