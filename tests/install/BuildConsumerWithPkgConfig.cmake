# Compiles and runs examples/consumer against an installation with the flags that pkg-config
# gives for corvaneurdfplugin, as a host with its own build system would.
# Arguments: -DPKG_CONFIG= -DSOURCE= -DBINARY= -DPREFIX= -DLIBDIR= -DCXX= -DVERSION=
#            -DFLAGS=<extra compile and link flags> -DROBOT=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS PKG_CONFIG SOURCE BINARY PREFIX LIBDIR CXX VERSION ROBOT)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/RunConsumer.cmake")

# Only the prefix under test may provide the modules.
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
set(ENV{PKG_CONFIG_LIBDIR} "${PREFIX}/${LIBDIR}/pkgconfig")

function(pkg_config result_variable)
  execute_process(COMMAND "${PKG_CONFIG}" ${ARGN} corvaneurdfplugin
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config ${ARGN} corvaneurdfplugin failed (${result}): ${errors}")
  endif()
  set(${result_variable} "${output}" PARENT_SCOPE)
endfunction()

pkg_config(module_version --modversion)
if(NOT module_version STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version '${module_version}', expected '${VERSION}'")
endif()
pkg_config(cflags --cflags)
pkg_config(libs --libs)
foreach(private_library IN ITEMS urdfdom spdlog fmt)
  if(libs MATCHES "-l${private_library}")
    message(FATAL_ERROR "pkg-config --libs asks hosts to link ${private_library}: ${libs}")
  endif()
endforeach()

separate_arguments(cflags UNIX_COMMAND "${cflags}")
separate_arguments(libs UNIX_COMMAND "${libs}")
separate_arguments(extra_flags UNIX_COMMAND "${FLAGS}")
file(REMOVE_RECURSE "${BINARY}")
file(MAKE_DIRECTORY "${BINARY}")
set(CONSUMER "${BINARY}/urdf-consumer")
execute_process(
  COMMAND "${CXX}" -std=c++20 -Wall -Wextra -Wpedantic ${extra_flags} ${cflags}
          "${SOURCE}/main.cpp" -o "${CONSUMER}" ${libs} ${extra_flags}
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "compiling the consumer with pkg-config's flags failed (${result}):\n"
                      "${output}")
endif()

# pkg-config gives no run-time search path; the loader is told where the prefix is.
set(LIBRARY_PATH "${PREFIX}/${LIBDIR}")
run_consumer()
