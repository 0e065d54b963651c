# Tests of the physical checks behind corvane-urdf --check: each rule on robots that trigger
# exactly it and on robots at its threshold, and every valid corpus robot checked twice.
if(TARGET corvane-urdf-tool)
  add_executable(check_rules_tests ${CMAKE_CURRENT_LIST_DIR}/tools/CheckRulesTests.cpp)
  target_link_libraries(check_rules_tests PRIVATE
    corvane-urdf-tool corvane-test-support urdfdom::urdfdom_model GTest::gtest_main)
  gtest_discover_tests(check_rules_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()

# corvane-urdf --check run as a user runs it: lines, exit statuses, real robots, the corpus.
if(TARGET corvane-urdf)
  add_executable(check_cli_tests ${CMAKE_CURRENT_LIST_DIR}/tools/CheckCliTests.cpp)
  target_link_libraries(check_cli_tests PRIVATE
    corvane-urdf-tool corvane-test-support nlohmann_json::nlohmann_json GTest::gtest_main)
  target_compile_definitions(check_cli_tests PRIVATE CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(check_cli_tests corvane-urdf)
  gtest_discover_tests(check_cli_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endif()
