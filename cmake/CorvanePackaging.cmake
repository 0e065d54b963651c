# Debian packages of the installed components, built with `cpack -G DEB`:
#   corvane-urdf-plugin  (component "plugin"): the plugin library with its header, CMake package
#                        and pkg-config file;
#   corvane-core         (component "host"): the stand-in for the host core library, in its own
#                        package so that a system with the real host core library can leave it out;
#   corvane-urdf-tools   (component "tools", with CORVANE_BUILD_TOOLS): the corvane-urdf program,
#                        its manual page and its bash completion.
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
if(TARGET corvane-urdf)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps must see the libraries built here that the plugin and the tool link; they belong
# to no installed package, so the dependencies on them are stated through the components instead.
get_target_property(core_build_dir corvane-core BINARY_DIR)
get_target_property(plugin_build_dir corvaneurdfplugin BINARY_DIR)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${core_build_dir} ${plugin_build_dir})
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

# The tool draws svg and png pictures with Graphviz's dot, and its 3D page uses three.js and
# headless Chromium; it runs without them for the other formats, hence Recommends.
set(CPACK_COMPONENT_TOOLS_DEPENDS plugin host)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME corvane-urdf-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION science)
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "graphviz, libjs-three, chromium")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool to import URDF robots into Corvane models
corvane-urdf reads URDF robot descriptions (the robot format of ROS) and
prints the Corvane physics model each one becomes: as host source text,
as the JSON syntax tree, or as a picture of its bodies and joints
(Graphviz dot source, SVG, PNG). It can summarise what each import made
of a robot and what it left behind, and converts many files in one run.
The package includes the manual page and the bash completion.
Graphviz draws the SVG and PNG pictures; three.js and Chromium show the
robot in 3D and take snapshots of it.")

include(CPack)
