# Installation tests: the plugin library exports only its interface; `cmake --install` into a
# temporary prefix puts every file in place; a host program builds against that installation with
# find_package and with pkg-config, and runs; the installed command-line tool runs from the
# prefix, its manual page and bash completion follow its --help, and its Debian package states
# its relations. Nothing here needs root or touches /usr.
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

# The files of the component "tools", relative to the prefix.
set(tool_program ${CMAKE_INSTALL_BINDIR}/corvane-urdf)
set(tool_page ${CMAKE_INSTALL_MANDIR}/man1/corvane-urdf.1)
set(tool_completion ${CMAKE_INSTALL_DATADIR}/bash-completion/completions/corvane-urdf)
set(tool_files "")
if(TARGET corvane-urdf)
  set(tool_files ${tool_program} ${tool_completion})
  if(TARGET corvane-urdf-manual-page)
    list(APPEND tool_files ${tool_page})
  endif()
endif()
string(REPLACE ";" "," tool_files "${tool_files}")

add_test(NAME install.into_prefix
  COMMAND ${CMAKE_COMMAND} -DCMAKE_EXECUTABLE=${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
          -DCONFIG=$<CONFIG> -DPREFIX=${install_prefix} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
          -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR} -DVERSION=${PROJECT_VERSION}
          -DSOVERSION=${PROJECT_VERSION_MAJOR} -DREADELF=${CMAKE_READELF}
          -DTOOL_FILES=${tool_files} -P ${install_scripts}/InstallIntoPrefix.cmake)
set_tests_properties(install.into_prefix PROPERTIES
  FIXTURES_SETUP corvane_installed RESOURCE_LOCK "corvane_install_prefix;corvane_build_tree_install"
  TIMEOUT 300)

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

if(TARGET corvane-urdf)
  add_test(NAME install.tool_runs_from_prefix
    COMMAND ${CMAKE_COMMAND} -DINSTALLED=${install_prefix}/${tool_program}
            -DBUILT=$<TARGET_FILE:corvane-urdf> -DPREFIX=${install_prefix}
            -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DROBOT=${consumer_robot} -DREADELF=${CMAKE_READELF}
            -P ${install_scripts}/RunToolFromPrefix.cmake)
  set_tests_properties(install.tool_runs_from_prefix PROPERTIES
    FIXTURES_REQUIRED corvane_installed TIMEOUT 120)

  find_program(CORVANE_MAN man)
  find_program(CORVANE_COL col)
  if(TARGET corvane-urdf-manual-page AND CORVANE_MAN AND CORVANE_COL)
    add_test(NAME install.tool_manual_page_names_every_option
      COMMAND ${CMAKE_COMMAND} -DMAN=${CORVANE_MAN} -DCOL=${CORVANE_COL}
              -DPAGE=${install_prefix}/${tool_page} -DPROGRAM=${install_prefix}/${tool_program}
              -P ${install_scripts}/ManualPageOptions.cmake)
    set_tests_properties(install.tool_manual_page_names_every_option PROPERTIES
      FIXTURES_REQUIRED corvane_installed TIMEOUT 120)
  else()
    message(STATUS "help2man, man or col not found (scripts/install-deps installs them): "
                   "install.tool_manual_page_names_every_option is not registered")
  endif()

  find_program(CORVANE_BASH bash)
  if(CORVANE_BASH)
    add_test(NAME install.tool_bash_completion
      COMMAND ${CMAKE_COMMAND} -DBASH=${CORVANE_BASH} -DHELPER=${install_scripts}/complete.bash
              -DCOMPLETION=${install_prefix}/${tool_completion}
              -DPROGRAM=${install_prefix}/${tool_program} -DWORK=${install_work}/completion
              -P ${install_scripts}/CheckCompletion.cmake)
    set_tests_properties(install.tool_bash_completion PROPERTIES
      FIXTURES_REQUIRED corvane_installed TIMEOUT 120)
    add_test(NAME install.completion_follows_help_layouts
      COMMAND ${CMAKE_COMMAND} -DBASH=${CORVANE_BASH} -DHELPER=${install_scripts}/complete.bash
              -DGENERATOR=${PROJECT_SOURCE_DIR}/cmake/GenerateBashCompletion.cmake
              -DTEMPLATE=${PROJECT_SOURCE_DIR}/tools/cli/corvane-urdf.bash.in
              -DWORK=${install_work}/completion-layouts
              -P ${install_scripts}/CompletionGenerator.cmake)
    set_tests_properties(install.completion_follows_help_layouts PROPERTIES TIMEOUT 120)
  else()
    message(STATUS "bash not found: the completion tests are not registered")
  endif()

  # cpack installs the whole build tree again into its own staging folder.
  set(tool_manual OFF)
  if(TARGET corvane-urdf-manual-page)
    set(tool_manual ON)
  endif()
  add_test(NAME install.tool_package_relations
    COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
            -DWORK=${install_work}/packages -DVERSION=${PROJECT_VERSION} -DMANUAL=${tool_manual}
            -P ${install_scripts}/PackageRelations.cmake)
  # cmake --install and cpack both install the build tree and write its install manifests.
  set_tests_properties(install.tool_package_relations PROPERTIES
    SKIP_REGULAR_EXPRESSION "-- skipped: " TIMEOUT 900 RESOURCE_LOCK corvane_build_tree_install)
endif()
