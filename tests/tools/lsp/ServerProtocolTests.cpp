// The built server as an editor meets it: the PR2 of ../shared/xacro open, a finding planted in
// the unsaved text of an included macro file and mended, definition and hover there, bad input,
// and the end of the conversation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "LspClient.hpp"
#include "TestSupport.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::isDiagnosticsOf;
using corvane::testing::LspClient;
using Json = nlohmann::json;

const fs::path packages = fs::path(CORVANE_SOURCE_DIR) / "../shared/xacro/packages/PR2+pr2_common";
const fs::path description = packages / "pr2_description";

std::string uriOf(const fs::path& path) {
    return "file://" + fs::weakly_canonical(path).string();
}

std::string fileText(const fs::path& path) {
    std::ifstream stream(path);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

int lineOf(const std::string& text, std::size_t offset) {
    return static_cast<int>(
        std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

Json initializeParams() {
    return {{"processId", nullptr},
            {"rootUri", uriOf(packages)},
            {"capabilities", Json::object()},
            {"initializationOptions", {{"packagePath", {packages.string()}}}}};
}

void openDocument(LspClient& client, const std::string& uri, const std::string& text) {
    client.notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", uri}, {"languageId", "xml"}, {"version", 1}, {"text", text}}}});
}

// The diagnostics of `uri` with rule `code`, from the next publication that `test` accepts.
std::optional<Json> publication(LspClient& client, const std::string& uri,
                                const std::function<bool(const Json&)>& test) {
    return client.waitFor(
        [&](const Json& m) { return isDiagnosticsOf(m, uri) && test(m["params"]["diagnostics"]); });
}

bool holdsCode(const Json& diagnostics, const std::string& code) {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [&](const Json& d) { return d.value("code", "") == code; });
}

class ServerProtocol : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::is_directory(description)) GTEST_SKIP() << "no " << description;
    }
};

TEST_F(ServerProtocol, PlantedFindingInAnUnsavedIncludedFileIsShownWithItsChainAndMended) {
    LspClient client;
    const Json init = client.request("initialize", initializeParams());
    ASSERT_TRUE(init.contains("result")) << init.dump();
    EXPECT_EQ(init["result"]["capabilities"]["textDocumentSync"]["change"], 1);
    client.notify("initialized", Json::object());

    const fs::path top = description / "robots/pr2.urdf.xacro";
    const fs::path forearm = description / "urdf/forearm_v0/forearm.urdf.xacro";
    const std::string original = fileText(forearm);
    std::string planted = original;
    const std::size_t mass = planted.find("<mass value=\"2.57968\"");
    ASSERT_NE(mass, std::string::npos);
    planted.replace(mass, 21, "<mass value=\"-2.57968\"");
    const int inertialLine = lineOf(planted, planted.rfind("<inertial>", mass));

    openDocument(client, uriOf(top), fileText(top));
    openDocument(client, uriOf(forearm), planted);
    const auto shown = publication(client, uriOf(forearm),
                                   [](const Json& d) { return holdsCode(d, "mass-negative"); });
    ASSERT_TRUE(shown) << client.errors();
    int found = 0;
    for (const auto& diagnostic : (*shown)["params"]["diagnostics"]) {
        // Findings of the checks alone: the file is no robot of its own, whose expansion or
        // import would fail.
        EXPECT_TRUE(diagnostic.contains("code")) << diagnostic.dump();
        if (diagnostic.value("code", "") != "mass-negative") continue;
        ++found;
        EXPECT_EQ(diagnostic["severity"], 1);
        EXPECT_EQ(diagnostic["source"], "corvane-urdf");
        EXPECT_EQ(diagnostic["range"]["start"]["line"], inertialLine) << diagnostic.dump();
        EXPECT_EQ(diagnostic["range"]["start"]["character"], 6);  // at "<inertial>"
        ASSERT_TRUE(diagnostic.contains("relatedInformation")) << diagnostic.dump();
        const Json& first = diagnostic["relatedInformation"][0];
        EXPECT_EQ(first["message"], "in macro 'pr2_forearm_v0' called here") << first.dump();
    }
    EXPECT_EQ(found, 2);  // the left and the right forearm

    // Hover on the element explains the rule; definition leads from ${side} to the macro's
    // parameters... and from the include of common.xacro to that file.
    const int hoverLine = inertialLine;
    const Json hover = client.request("textDocument/hover",
                                      {{"textDocument", {{"uri", uriOf(forearm)}}},
                                       {"position", {{"line", hoverLine}, {"character", 8}}}});
    const std::string hoverText = hover["result"]["contents"]["value"];
    EXPECT_NE(hoverText.find("**mass-negative**"), std::string::npos) << hoverText;
    const int includeLine = lineOf(planted, planted.find("urdf/common.xacro"));
    const Json definition = client.request(
        "textDocument/definition", {{"textDocument", {{"uri", uriOf(forearm)}}},
                                    {"position", {{"line", includeLine}, {"character", 40}}}});
    ASSERT_EQ(definition["result"].size(), 1u) << definition.dump();
    EXPECT_EQ(definition["result"][0]["uri"], uriOf(description / "urdf/common.xacro"));

    // Mended: the file shows the finding no more.
    client.notify("textDocument/didChange",
                  {{"textDocument", {{"uri", uriOf(forearm)}, {"version", 2}}},
                   {"contentChanges", {{{"text", original}}}}});
    EXPECT_TRUE(publication(client, uriOf(forearm), [](const Json& d) {
        return !holdsCode(d, "mass-negative");
    })) << client.errors();

    EXPECT_TRUE(client.request("shutdown", nullptr)["result"].is_null());
    client.notify("exit", nullptr);
    EXPECT_EQ(client.finish(), 0);
}

// A macro call goes to its <xacro:macro> in another package's file, through the files the
// analysis read.
TEST_F(ServerProtocol, DefinitionOfAMacroCallCrossesTheFilesRead) {
    LspClient client;
    client.request("initialize", initializeParams());
    const fs::path top = description / "robots/pr2.urdf.xacro";
    const std::string text = fileText(top);
    openDocument(client, uriOf(top), text);
    ASSERT_TRUE(publication(client, uriOf(top), [](const Json&) { return true; }));
    const std::size_t call = text.find("<xacro:pr2_forearm_v0");
    if (call == std::string::npos) GTEST_SKIP() << "pr2.urdf.xacro calls no pr2_forearm_v0";
    const Json answer =
        client.request("textDocument/definition",
                       {{"textDocument", {{"uri", uriOf(top)}}},
                        {"position",
                         {{"line", lineOf(text, call)},
                          {"character", static_cast<int>(call - text.rfind('\n', call)) + 8}}}});
    ASSERT_EQ(answer["result"].size(), 1u) << answer.dump();
    EXPECT_EQ(answer["result"][0]["uri"],
              uriOf(description / "urdf/forearm_v0/forearm.urdf.xacro"));
}

// A link whose name a macro makes: <child link> leads to the line of the macro that wrote it,
// through the expansion's source map. The robot exists only as unsaved text; closed, its
// findings are taken back.
TEST(ServerProtocolUnsaved, DefinitionOfALinkAMacroNamesGoesThroughTheSourceMap) {
    // clang-format off
    const std::string robot = R"(<robot name="m" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:macro name="wheel" params="side">
    <link name="${side}_wheel"><inertial><mass value="-1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  </xacro:macro>
  <link name="base"/>
  <xacro:wheel side="left"/>
  <joint name="j" type="fixed"><parent link="base"/><child link="left_wheel"/></joint>
</robot>
)";
    // clang-format on
    const std::string uri = "file:///tmp/corvane-lsp-QQQ-unsaved/wheels.urdf.xacro";
    LspClient client;
    client.request("initialize", Json::object());
    openDocument(client, uri, robot);
    ASSERT_TRUE(publication(client, uri, [](const Json& d) {
        return holdsCode(d, "mass-negative");
    })) << client.errors();
    const Json answer = client.request(
        "textDocument/definition",
        {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 6}, {"character", 66}}}});
    ASSERT_EQ(answer["result"].size(), 1u) << answer.dump();
    EXPECT_EQ(answer["result"][0]["uri"], uri);
    EXPECT_EQ(answer["result"][0]["range"]["start"]["line"], 2);
    EXPECT_FALSE(fs::exists("/tmp/corvane-lsp-QQQ-unsaved"));
    // Closed, the robot is analysed no more, and its findings go with it.
    client.notify("textDocument/didClose", {{"textDocument", {{"uri", uri}}}});
    EXPECT_TRUE(publication(client, uri, [](const Json& d) { return d.empty(); }));
}

TEST(ServerProtocolInput, BadInputIsAnsweredAndTheServerGoesOn) {
    LspClient client;
    // Before initialize.
    const Json early = client.request("textDocument/hover", Json::object());
    EXPECT_EQ(early["error"]["code"], -32002);
    client.request("initialize", Json::object());
    client.sendRaw("{QQQ");
    EXPECT_TRUE(client.waitFor([](const Json& m) {
        return m.contains("error") && m["error"]["code"] == -32700 && m["id"].is_null();
    }));
    EXPECT_EQ(client.request("QQQ/unknown", Json::object())["error"]["code"], -32601);
    EXPECT_EQ(client.request("textDocument/hover",
                             {{"textDocument", {{"uri", "file:///QQQ"}}},
                              {"position", {{"line", 0}, {"character", 0}}}})["error"]["code"],
              -32602);
    // A hostile document: its error, and the server answers on.
    const std::string bomb = R"(<robot xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:macro name="b" params=""><xacro:b/><xacro:b/></xacro:macro><xacro:b/><link name="x"/>
</robot>)";
    openDocument(client, "file:///tmp/corvane-lsp-QQQ-bomb.urdf.xacro", bomb);
    const auto bombed = client.waitFor([](const Json& m) {
        return isDiagnosticsOf(m, "file:///tmp/corvane-lsp-QQQ-bomb.urdf.xacro") &&
               !m["params"]["diagnostics"].empty();
    });
    ASSERT_TRUE(bombed) << client.errors();
    EXPECT_EQ((*bombed)["params"]["diagnostics"][0]["severity"], 1);
    EXPECT_FALSE(fs::exists("/tmp/corvane-lsp-QQQ-bomb.urdf.xacro"));  // the server wrote none
    // Cancelled before its turn: one cancellation and the request, sent at once.
    client.sendRaw(R"({"jsonrpc":"2.0","method":"$/cancelRequest","params":{"id":"c"}})");
    client.sendRaw(R"({"jsonrpc":"2.0","id":"c","method":"shutdown"})");
    EXPECT_TRUE(client.waitFor([](const Json& m) {
        return m.value("id", Json()) == "c" && m.contains("error") && m["error"]["code"] == -32800;
    }));
    // Exit without shutdown.
    client.notify("exit", nullptr);
    EXPECT_EQ(client.finish(), 1);
}

}  // namespace
