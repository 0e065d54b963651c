# The robot page of corvane-urdf -f html in headless Chromium: pages the built tool writes, opened
# in the browser, checked from the report the page writes into itself. Each case starts Chromium
# once or twice; the timeout stops a browser that hangs.
if(TARGET corvane-urdf)
  add_executable(viewer_browser_tests ${CMAKE_CURRENT_LIST_DIR}/tools/ViewerBrowserTests.cpp)
  target_link_libraries(viewer_browser_tests PRIVATE
    corvane-urdf-tool corvane-test-support nlohmann_json::nlohmann_json GTest::gtest_main)
  target_compile_definitions(viewer_browser_tests PRIVATE
    CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(viewer_browser_tests corvane-urdf)
  gtest_discover_tests(viewer_browser_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
