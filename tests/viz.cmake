# Tests of corvane-urdf's picture, summary and batch conversion: its pieces called directly, and
# the built tool run as a user runs it.
if(TARGET corvane-urdf)
  add_executable(viz_tests
    ${CMAKE_CURRENT_LIST_DIR}/tools/VizTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/VizCliTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/ModelOverviewTests.cpp)
  target_link_libraries(viz_tests PRIVATE
    corvane-urdf-tool corvane-test-support urdfdom::urdfdom_model GTest::gtest_main)
  target_compile_definitions(viz_tests PRIVATE
    CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(viz_tests corvane-urdf)
  gtest_discover_tests(viz_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)
endif()
