# The nesting guard's tests call its functions directly (the plugin library hides them) and compare
# its count with the element tree of TinyXML, the XML parser under urdfdom.
if(TARGET test_nesting)
  find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
  find_library(TINYXML_LIBRARY tinyxml REQUIRED)
  target_sources(test_nesting PRIVATE
    ${PROJECT_SOURCE_DIR}/src/NestingGuard.cpp ${PROJECT_SOURCE_DIR}/src/LinkTreeCheck.cpp
    ${PROJECT_SOURCE_DIR}/src/LinkLookup.cpp)
  target_include_directories(test_nesting PRIVATE ${PROJECT_SOURCE_DIR}/src ${TINYXML_INCLUDE_DIR})
  target_link_libraries(test_nesting PRIVATE ${TINYXML_LIBRARY})
endif()
