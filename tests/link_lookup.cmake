# The link look-ups' tests call them directly (the plugin library hides them).
if(TARGET test_link_lookup)
  target_sources(test_link_lookup PRIVATE ${PROJECT_SOURCE_DIR}/src/LinkLookup.cpp)
  target_include_directories(test_link_lookup PRIVATE ${PROJECT_SOURCE_DIR}/src)
endif()
