# The hostile-input tests silence urdfdom's console diagnostics for the texts they feed it.
if(TARGET test_hostile)
  find_package(console_bridge REQUIRED)
  target_link_libraries(test_hostile PRIVATE console_bridge::console_bridge)
endif()
