# Tests of the xacro expander library: the feature cases and real robots of ../shared/xacro,
# read at test time, and hostile files.
if(NOT TARGET corvane-xacro)
  return()
endif()

add_executable(xacro_tests ${CMAKE_CURRENT_LIST_DIR}/xacro/ExpanderTests.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/xacro/ExpressionTests.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/xacro/ExpressionDifferentialTests.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/xacro/ExpansionMapTests.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/xacro/FuzzRegressionTests.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/xacro/TextAndFilesTests.cpp)
target_include_directories(xacro_tests PRIVATE ${PROJECT_SOURCE_DIR}/xacro/src
                                               ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(xacro_tests PRIVATE corvane-xacro PkgConfig::TinyXML2 GTest::gtest_main)
target_compile_definitions(xacro_tests PRIVATE CORVANE_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared"
                                              CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
gtest_discover_tests(xacro_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
