# The sources stay formatted as .clang-format says (see format/CheckFormat.cmake).
add_test(NAME format.sources
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/format/CheckFormat.cmake)
set_tests_properties(format.sources PROPERTIES SKIP_REGULAR_EXPRESSION "-- skipped: " TIMEOUT 300)
