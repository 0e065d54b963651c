# Installation tests: the plugin library exports only its interface; `cmake --install` into a
# temporary prefix puts every file in place; a host program builds against that installation with
# find_package and with pkg-config, and runs. Nothing here needs root or touches /usr.
set(install_scripts ${CMAKE_CURRENT_SOURCE_DIR}/install)
set(install_work ${CMAKE_CURRENT_BINARY_DIR}/install-test)
set(install_prefix ${install_work}/prefix)
set(consumer_source ${PROJECT_SOURCE_DIR}/examples/consumer)
set(consumer_robot ${PROJECT_SOURCE_DIR}/examples/arm_robot.urdf)

# A host linking a sanitizer-instrumented plugin needs the sanitizer runtimes first in its link.
set(consumer_flags "")
if(CORVANE_SANITIZE)
  set(consumer_flags "-fsanitize=address,undefined -fno-omit-frame-pointer")
endif()

add_test(NAME install.exported_symbols
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:corvaneurdfplugin> -DNM=${CMAKE_NM}
          -P ${install_scripts}/CheckExports.cmake)

add_test(NAME install.into_prefix
  COMMAND ${CMAKE_COMMAND} -DCMAKE_EXECUTABLE=${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
          -DCONFIG=$<CONFIG> -DPREFIX=${install_prefix} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
          -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR} -DVERSION=${PROJECT_VERSION}
          -DSOVERSION=${PROJECT_VERSION_MAJOR} -DREADELF=${CMAKE_READELF} -P ${install_scripts}/InstallIntoPrefix.cmake)
set_tests_properties(install.into_prefix PROPERTIES
  FIXTURES_SETUP corvane_installed RESOURCE_LOCK corvane_install_prefix TIMEOUT 300)

add_test(NAME install.consumer_with_find_package
  COMMAND ${CMAKE_COMMAND} -DCMAKE_EXECUTABLE=${CMAKE_COMMAND} -DSOURCE=${consumer_source}
          -DBINARY=${install_work}/consumer-cmake -DPREFIX=${install_prefix}
          -DGENERATOR=${CMAKE_GENERATOR} -DCXX=${CMAKE_CXX_COMPILER} -DCONFIG=$<CONFIG>
          -DFLAGS=${consumer_flags} -DROBOT=${consumer_robot}
          -P ${install_scripts}/BuildConsumerWithCMake.cmake)
set_tests_properties(install.consumer_with_find_package PROPERTIES
  FIXTURES_REQUIRED corvane_installed TIMEOUT 600)

find_program(CORVANE_PKG_CONFIG NAMES pkg-config pkgconf)
if(CORVANE_PKG_CONFIG)
  add_test(NAME install.consumer_with_pkg_config
    COMMAND ${CMAKE_COMMAND} -DPKG_CONFIG=${CORVANE_PKG_CONFIG} -DSOURCE=${consumer_source}
            -DBINARY=${install_work}/consumer-pkg-config -DPREFIX=${install_prefix}
            -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DCXX=${CMAKE_CXX_COMPILER}
            -DVERSION=${PROJECT_VERSION} -DFLAGS=${consumer_flags} -DROBOT=${consumer_robot}
            -P ${install_scripts}/BuildConsumerWithPkgConfig.cmake)
  set_tests_properties(install.consumer_with_pkg_config PROPERTIES
    FIXTURES_REQUIRED corvane_installed TIMEOUT 600)
else()
  message(STATUS "pkg-config not found: install.consumer_with_pkg_config is not registered")
endif()
