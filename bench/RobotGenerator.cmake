# The synthetic robot generator, shared by the benchmarks and the tests; whichever of the two
# folders comes first defines it.
if(NOT TARGET corvane-robot-generator)
  add_library(corvane-robot-generator STATIC ${CMAKE_CURRENT_LIST_DIR}/RobotGenerator.cpp)
  target_include_directories(corvane-robot-generator PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(corvane-robot-generator PRIVATE fmt::fmt)
endif()
