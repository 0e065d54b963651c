# The fixed-point writer's tests call it directly (the plugin library hides it).
if(TARGET test_fixed_point)
  target_sources(test_fixed_point PRIVATE ${PROJECT_SOURCE_DIR}/src/FixedPoint.cpp)
  target_include_directories(test_fixed_point PRIVATE ${PROJECT_SOURCE_DIR}/src)
endif()
