# Tests of the corvane-urdf command-line tool, one program per folder of tests/tools (which mirror
# the tool's own folders): its pieces called directly, and the built tool run as a user runs it
# (CORVANE_URDF_TOOL names it).
if(NOT TARGET corvane-urdf)
  return()
endif()

# corvane_add_tool_tests(<name> SOURCES <file>... LIBRARIES <target>... TIMEOUT <seconds>)
# One test program whose cases CTest runs one by one, each stopped after TIMEOUT seconds.
function(corvane_add_tool_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "SOURCES;LIBRARIES")
  list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tools/)
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} corvane-test-support GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE CORVANE_URDF_TOOL="$<TARGET_FILE:corvane-urdf>")
  add_dependencies(${name} corvane-urdf)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${arg_TIMEOUT})
endfunction()

corvane_add_tool_tests(tool_support_tests TIMEOUT 60
  SOURCES support/FilesTests.cpp support/OutputTests.cpp support/SpellingTests.cpp
  LIBRARIES corvane-urdf-support)
corvane_add_tool_tests(tool_model_tests TIMEOUT 120
  SOURCES model/DescriptionFactsTests.cpp model/GeometryTests.cpp model/MeshLocatorTests.cpp
          model/MeshMeasureTests.cpp model/ModelOverviewTests.cpp model/UrdfElementsTests.cpp
  LIBRARIES corvane-urdf-cli)
corvane_add_tool_tests(tool_checks_tests TIMEOUT 300
  SOURCES checks/CheckRulesTests.cpp checks/CheckCliTests.cpp checks/MeshContentsRulesTests.cpp
          checks/RuleRegistryTests.cpp checks/MarkupRulesTests.cpp checks/CheckFormatsTests.cpp
  LIBRARIES corvane-urdf-checks)
# The checks against MuJoCo's model compiler over the whole valid corpus: one case, well under a
# minute.
if(TARGET Corvane::MuJoCo)
  corvane_add_tool_tests(tool_checks_simulator_tests TIMEOUT 120
    SOURCES checks/SimulatorAgreementTests.cpp
    LIBRARIES corvane-urdf-checks Corvane::MuJoCo PkgConfig::TinyXML)
endif()
corvane_add_tool_tests(tool_graph_tests TIMEOUT 900
  SOURCES graph/DotGraphTests.cpp graph/GraphCliTests.cpp
  LIBRARIES corvane-urdf-graph)
corvane_add_tool_tests(tool_page_tests TIMEOUT 600
  SOURCES page/SceneTests.cpp page/SceneCliTests.cpp page/SnapshotTests.cpp
  LIBRARIES corvane-urdf-page PNG::PNG)
# Each case starts Chromium once or twice; the timeout stops a browser that hangs.
corvane_add_tool_tests(tool_viewer_browser_tests TIMEOUT 120
  SOURCES page/ViewerBrowserTests.cpp
  LIBRARIES corvane-urdf-model)
corvane_add_tool_tests(tool_jsonrpc_tests TIMEOUT 60
  SOURCES jsonrpc/EndpointTests.cpp jsonrpc/FramingTests.cpp
  LIBRARIES corvane-urdf-jsonrpc)
# The language server: its pieces, the built server through a protocol client, and Neovim's own
# client (skipped without nvim).
corvane_add_tool_tests(tool_lsp_tests TIMEOUT 120
  SOURCES lsp/ConfigurationTests.cpp lsp/FeaturesTests.cpp lsp/LspClient.cpp lsp/NeovimTests.cpp
          lsp/ServerProtocolTests.cpp lsp/XmlScanTests.cpp
  LIBRARIES corvane-urdf-lsp)
corvane_add_tool_tests(tool_cli_tests TIMEOUT 900
  SOURCES cli/CliTests.cpp cli/RunPlanTests.cpp cli/SummaryBatchCliTests.cpp cli/SummaryTests.cpp
          cli/XacroCliTests.cpp
  LIBRARIES corvane-urdf-cli)
# The tool's folders include each other one way only.
corvane_add_tool_tests(tool_layout_tests TIMEOUT 60 SOURCES LayoutTests.cpp)
corvane_add_tool_tests(tool_session_tests TIMEOUT 300
  SOURCES session/AnalysisTests.cpp
  LIBRARIES corvane-urdf-session)
