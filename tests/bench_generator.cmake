# The generator of synthetic robots is tested with the other tests, benchmarks built or not.
if(TARGET test_bench_generator)
  include(${PROJECT_SOURCE_DIR}/bench/RobotGenerator.cmake)
  target_link_libraries(test_bench_generator PRIVATE corvane-robot-generator)
endif()
