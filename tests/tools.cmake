# Tests of the corvane-urdf command-line tool: a test program that runs the built tool as a user
# would and checks exit status, standard output, standard error and written files.
if(TARGET corvane-urdf)
  add_executable(tool_tests ${CMAKE_CURRENT_LIST_DIR}/tools/ToolTests.cpp)
  target_link_libraries(tool_tests PRIVATE
    corvane-urdf-tool corvane-test-support nlohmann_json::nlohmann_json GTest::gtest_main)
  target_compile_definitions(tool_tests PRIVATE
    CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(tool_tests corvane-urdf)
  gtest_discover_tests(tool_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)
endif()
