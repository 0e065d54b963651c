# The rendering tests read the JSON they check back with nlohmann-json.
if(TARGET test_render)
  find_package(nlohmann_json REQUIRED)
  target_link_libraries(test_render PRIVATE nlohmann_json::nlohmann_json)
endif()
