# The link-tree check's tests call it directly (the plugin library hides it), compare it with
# urdfdom, and keep urdfdom's console diagnostics quiet.
if(TARGET test_link_tree)
  find_package(console_bridge REQUIRED)
  target_sources(test_link_tree PRIVATE
    ${PROJECT_SOURCE_DIR}/src/NestingGuard.cpp ${PROJECT_SOURCE_DIR}/src/LinkTreeCheck.cpp
    ${PROJECT_SOURCE_DIR}/src/LinkLookup.cpp)
  target_include_directories(test_link_tree PRIVATE ${PROJECT_SOURCE_DIR}/src ${TINYXML_INCLUDE_DIR})
  target_link_libraries(test_link_tree PRIVATE ${TINYXML_LIBRARY} console_bridge::console_bridge)
endif()
