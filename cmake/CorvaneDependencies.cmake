# Every library the build uses, found once, here, as an imported target. The folders below only
# link the targets; none of them looks for a library itself.
include_guard(GLOBAL)

# The plugin: urdfdom reads the robot description, TinyXML (the XML parser under urdfdom) is also
# read directly by the nesting guard and the link-tree check, spdlog and fmt write its log.
find_package(urdfdom REQUIRED)
find_package(spdlog REQUIRED)
find_package(fmt REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TinyXML REQUIRED IMPORTED_TARGET GLOBAL tinyxml)
# urdfdom reports its own diagnostics through console_bridge; the tool, the tests and the fuzzers
# silence them.
find_package(console_bridge REQUIRED)

# The xacro expander reads its files with TinyXML2 (which keeps line numbers) and YAML with
# yaml-cpp; its expressions compute ints of any size with Boost.Multiprecision (headers only).
if(CORVANE_BUILD_XACRO)
  pkg_check_modules(TinyXML2 REQUIRED IMPORTED_TARGET GLOBAL tinyxml2)
  find_package(yaml-cpp REQUIRED)
  find_package(Boost 1.74 REQUIRED)
endif()

if(CORVANE_BUILD_TOOLS)
  find_package(CLI11 REQUIRED)
  # corvane-urdf serve: HTTP with Debian's cpp-httplib (a compiled library), its threads.
  pkg_check_modules(CppHttplib REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
  find_package(Threads REQUIRED)
endif()
# The tool writes the 3D page's scene as JSON with nlohmann-json; the tests read the JSON they
# check back with it, and compare the host's JSON layout with its own.
if(CORVANE_BUILD_TOOLS OR CORVANE_BUILD_TESTS)
  find_package(nlohmann_json REQUIRED)
endif()
if(CORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  # The snapshot tests decode the PNG files the tool writes, to look at their pixels.
  find_package(PNG REQUIRED)
  # The checks are held against a real simulator's model compiler: MuJoCo (libmujoco-dev), for
  # the tests alone; without it those tests are not built. Found by its header and library: the
  # package's CMake configuration names include folders that the package does not install.
  find_path(MUJOCO_INCLUDE_DIR mujoco/mujoco.h)
  find_library(MUJOCO_LIBRARY mujoco)
  if(MUJOCO_INCLUDE_DIR AND MUJOCO_LIBRARY AND NOT TARGET Corvane::MuJoCo)
    add_library(Corvane::MuJoCo UNKNOWN IMPORTED GLOBAL)
    set_target_properties(Corvane::MuJoCo PROPERTIES IMPORTED_LOCATION "${MUJOCO_LIBRARY}"
                          INTERFACE_INCLUDE_DIRECTORIES "${MUJOCO_INCLUDE_DIR}")
  endif()
endif()
if(CORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
