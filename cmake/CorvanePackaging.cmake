# Debian packages of the installed components, built with `cpack -G DEB`:
#   corvane-urdf-plugin  (component "plugin"): the plugin library with its header, CMake package
#                        and pkg-config file;
#   corvane-core         (component "host"): the stand-in for the host core library, in its own
#                        package so that a system with the real host core library can leave it out.
# The runtime dependencies of the libraries (urdfdom, spdlog, fmt, the C++ runtime ...) are read
# from the libraries themselves by dpkg-shlibdeps, so they name the packages this system has.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr to get Debian's multiarch library directory.
include_guard(GLOBAL)

set(CORVANE_PACKAGE_CONTACT "Corvane URDF plugin maintainers <maintainers@corvane.invalid>"
    CACHE STRING "Maintainer written into the Debian packages")

set(CPACK_PACKAGE_NAME corvane-urdf-plugin)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "${CORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin host)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps must see the host core library the plugin links, built here; it belongs to no
# installed package, so the plugin's dependency on it is stated through the component instead.
get_target_property(core_build_dir corvane-core BINARY_DIR)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${core_build_dir})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# A shlibs file lets packages built against these libraries get their dependencies computed.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_COMPONENT_PLUGIN_DEPENDS host)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME corvane-urdf-plugin)
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION "URDF import plugin of the Corvane physics-modelling language
Reads URDF robot descriptions and returns, in memory, the host syntax tree of one model per
robot. Contains the shared library, its header, the CMake package CorvaneUrdfPlugin and the
pkg-config file corvaneurdfplugin.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME corvane-core)
set(CPACK_DEBIAN_HOST_DESCRIPTION "Corvane host core library (stand-in)
Syntax-tree types, builders and the import plugin base class of the Corvane host, as the URDF
plugin builds with them. Contains the shared library, its headers, the CMake package CorvaneCore
and the pkg-config file corvane-core.")

include(CPack)
