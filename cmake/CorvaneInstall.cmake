# Helpers that install a library's CMake package and pkg-config file.
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

# corvane_install_cmake_package(<package> EXPORT <export-set> COMPONENT <component>)
# Installs <package>Config.cmake (from cmake/<package>Config.cmake.in), its version file and the
# targets of <export-set> in the Corvane:: namespace under <libdir>/cmake/<package>. The files
# locate the installation relative to themselves, so the tree can be moved or packaged.
function(corvane_install_cmake_package package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT;COMPONENT" "")
  set(destination ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  set(generated ${PROJECT_BINARY_DIR}/cmake/${package})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${package}Config.cmake.in
    ${generated}/${package}Config.cmake
    INSTALL_DESTINATION ${destination})
  write_basic_package_version_file(${generated}/${package}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(EXPORT ${arg_EXPORT} NAMESPACE Corvane:: DESTINATION ${destination}
    COMPONENT ${arg_COMPONENT})
  install(FILES ${generated}/${package}Config.cmake ${generated}/${package}ConfigVersion.cmake
    DESTINATION ${destination} COMPONENT ${arg_COMPONENT})
endfunction()

# corvane_install_pkgconfig(<template.pc.in> COMPONENT <component>)
# Installs <template> as <libdir>/pkgconfig/<name>.pc. The file is written at install time, so its
# prefix is the one actually installed to (`cmake --install --prefix`, CPack's staging for /usr)
# and not the prefix the build was configured with. The template may use @PC_PREFIX@,
# @PC_LIBDIR@, @PC_INCLUDEDIR@ and @PC_VERSION@.
function(corvane_install_pkgconfig template)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "COMPONENT" "")
  get_filename_component(file_name ${template} NAME_WLE)
  set(libdir ${CMAKE_INSTALL_LIBDIR})
  set(includedir ${CMAKE_INSTALL_INCLUDEDIR})
  set(version ${PROJECT_VERSION})
  set(staging ${PROJECT_BINARY_DIR}/pkgconfig)
  set(code [[
    set(PC_VERSION "@version@")
    # `cmake --install --prefix` takes a path relative to the working directory as it is.
    get_filename_component(PC_PREFIX "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    set(PC_LIBDIR "@libdir@")
    if(NOT IS_ABSOLUTE "${PC_LIBDIR}")
      set(PC_LIBDIR "\${prefix}/${PC_LIBDIR}")
    endif()
    set(PC_INCLUDEDIR "@includedir@")
    if(NOT IS_ABSOLUTE "${PC_INCLUDEDIR}")
      set(PC_INCLUDEDIR "\${prefix}/${PC_INCLUDEDIR}")
    endif()
    # One staging file per destination, so that installs to different places cannot collide.
    string(MD5 destination_key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(staged "@staging@/${destination_key}/@file_name@")
    configure_file("@template@" "${staged}" @ONLY)
    set(pkgconfig_dir "@libdir@/pkgconfig")
    if(NOT IS_ABSOLUTE "${pkgconfig_dir}")
      set(pkgconfig_dir "${CMAKE_INSTALL_PREFIX}/${pkgconfig_dir}")
    endif()
    file(INSTALL DESTINATION "${pkgconfig_dir}" TYPE FILE FILES "${staged}")
  ]])
  string(CONFIGURE "${code}" code @ONLY)
  install(CODE "${code}" COMPONENT ${arg_COMPONENT})
endfunction()
