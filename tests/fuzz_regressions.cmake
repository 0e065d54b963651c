# The fuzz regression inputs are also checked against the nesting guard, called directly (the
# plugin library hides it), and TinyXML, the XML parser under urdfdom.
if(TARGET test_fuzz_regressions)
  find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
  find_library(TINYXML_LIBRARY tinyxml REQUIRED)
  target_sources(test_fuzz_regressions PRIVATE
    ${PROJECT_SOURCE_DIR}/src/NestingGuard.cpp ${PROJECT_SOURCE_DIR}/src/LinkTreeCheck.cpp
    ${PROJECT_SOURCE_DIR}/src/LinkLookup.cpp)
  target_include_directories(test_fuzz_regressions PRIVATE
    ${PROJECT_SOURCE_DIR}/src ${TINYXML_INCLUDE_DIR})
  target_link_libraries(test_fuzz_regressions PRIVATE ${TINYXML_LIBRARY})
endif()
