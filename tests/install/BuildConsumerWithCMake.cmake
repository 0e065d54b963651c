# Configures, builds and runs examples/consumer against an installation with find_package, as a
# host project would.
# Arguments: -DCMAKE_EXECUTABLE= -DSOURCE= -DBINARY= -DPREFIX= -DGENERATOR= -DCXX= -DCONFIG=
#            -DFLAGS=<extra compile and link flags> -DROBOT=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS CMAKE_EXECUTABLE SOURCE BINARY PREFIX GENERATOR CXX CONFIG ROBOT)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()
include("${CMAKE_CURRENT_LIST_DIR}/RunConsumer.cmake")

function(run step)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output ERROR_VARIABLE output
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step} failed (${result}):\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE "${BINARY}")
# Only the prefix under test may provide the package: no user package registry, no /usr install.
run("configuring the consumer"
  "${CMAKE_EXECUTABLE}" -S "${SOURCE}" -B "${BINARY}" -G "${GENERATOR}"
  "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_BUILD_TYPE=${CONFIG}" "-DCMAKE_PREFIX_PATH=${PREFIX}"
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
  "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")

file(STRINGS "${BINARY}/CMakeCache.txt" found REGEX "^CorvaneUrdfPlugin_DIR:")
string(FIND "${found}" "${PREFIX}/" position)
if(NOT position GREATER -1)
  message(FATAL_ERROR "the consumer found the package outside ${PREFIX}: ${found}")
endif()

run("building the consumer" "${CMAKE_EXECUTABLE}" --build "${BINARY}" --config "${CONFIG}")

set(CONSUMER "${BINARY}/urdf-consumer")
run_consumer()
