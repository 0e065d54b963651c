# Tests of the physical checks behind corvane-urdf --check: each rule on robots that trigger
# exactly it and on robots at its threshold, and every valid corpus robot checked twice.
if(TARGET corvane-urdf-tool)
  add_executable(check_rules_tests ${CMAKE_CURRENT_LIST_DIR}/tools/CheckRulesTests.cpp)
  target_link_libraries(check_rules_tests PRIVATE
    corvane-urdf-tool corvane-test-support urdfdom::urdfdom_model GTest::gtest_main)
  gtest_discover_tests(check_rules_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
