# Tests of corvane-urdf's 3D page: the scene it places (against forward kinematics from urdfdom),
# the page it writes, and -f html / -f snapshot run as a user runs them.
if(TARGET corvane-urdf)
  find_package(nlohmann_json REQUIRED)
  find_package(PNG REQUIRED)
  add_executable(scene_tests
    ${CMAKE_CURRENT_LIST_DIR}/tools/SceneTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/SceneCliTests.cpp)
  target_link_libraries(scene_tests PRIVATE
    corvane-urdf-tool corvane-test-support urdfdom::urdfdom_model nlohmann_json::nlohmann_json
    PNG::PNG GTest::gtest_main)
  target_compile_definitions(scene_tests PRIVATE
    CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(scene_tests corvane-urdf)
  gtest_discover_tests(scene_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endif()
