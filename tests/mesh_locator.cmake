# Tests of how corvane-urdf finds mesh files: its locator called directly, and the built tool's
# --package-path option.
if(TARGET corvane-urdf)
  add_executable(mesh_locator_tests ${CMAKE_CURRENT_LIST_DIR}/tools/MeshLocatorTests.cpp)
  target_link_libraries(mesh_locator_tests PRIVATE
    corvane-urdf-tool corvane-test-support urdfdom::urdfdom_model GTest::gtest_main)
  target_compile_definitions(mesh_locator_tests PRIVATE
    CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(mesh_locator_tests corvane-urdf)
  gtest_discover_tests(mesh_locator_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
