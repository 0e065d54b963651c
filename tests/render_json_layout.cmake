# The JSON layout tests build the expected text through nlohmann-json.
if(TARGET test_render_json_layout)
  find_package(nlohmann_json REQUIRED)
  target_link_libraries(test_render_json_layout PRIVATE nlohmann_json::nlohmann_json)
endif()
