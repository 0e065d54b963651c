// corvane-urdf serve over HTTP, with httplib's client: what each route gives, what is refused
// (a foreign Host, other methods, paths that are no route), the event streams, and how the
// server starts and ends.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.hpp"
#include "ServedTool.hpp"
#include "TestSupport.hpp"
#include "serve/Server.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::readFile;
using corvane::testing::saveAsEditorsDo;
using corvane::testing::ScratchDir;
using corvane::testing::ServedTool;
using corvane::testing::writeFile;

const fs::path robotsDir = fs::path(CORVANE_SHARED_DIR) / "robots";

// clang-format off
const std::string pair = R"(<robot name="pair">
  <link name="a"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <link name="b"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="5" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <joint name="j" type="revolute"><parent link="a"/><child link="b"/><origin xyz="0 0 1"/>
    <axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="1" velocity="1"/></joint>
</robot>
)";
// clang-format on

struct HostCase {
    const char* host;
    const char* bind;
    bool allowed;
};

TEST(ServeHosts, OnlyTheServersOwnNamesAreAllowed) {
    // clang-format off
    const HostCase cases[] = {
        {"127.0.0.1:8000", "127.0.0.1", true},   {"localhost:8000", "127.0.0.1", true},
        {"127.0.0.1:8001", "127.0.0.1", false},  {"127.0.0.1", "127.0.0.1", false},
        {"localhost", "127.0.0.1", false},       {"evil.example:8000", "127.0.0.1", false},
        {"127.0.0.2:8000", "127.0.0.1", false},  {"", "127.0.0.1", false},
        {"[::1]:8000", "::1", true},             {"[::1]:8000", "127.0.0.1", false},
        {"192.168.1.5:8000", "0.0.0.0", true},   {"rebound.example:8000", "0.0.0.0", false},
        {"[fe80::1]:8000", "::", true},          {"localhost.evil.example:8000", "0.0.0.0", false},
        {"LOCALHOST:8000", "127.0.0.1", false},  {"127.0.0.1:8000:8000", "127.0.0.1", false},
    };
    // clang-format on
    for (const auto& test : cases) {
        EXPECT_EQ(corvane::tools::hostAllowed(test.host, test.bind, 8000), test.allowed)
            << "Host: " << test.host << " bound to " << test.bind;
    }
    EXPECT_TRUE(corvane::tools::isLoopback("127.0.0.1"));
    EXPECT_TRUE(corvane::tools::isLoopback("127.1.2.3"));
    EXPECT_TRUE(corvane::tools::isLoopback("::1"));
    EXPECT_FALSE(corvane::tools::isLoopback("0.0.0.0"));
    EXPECT_FALSE(corvane::tools::isLoopback("128.0.0.1"));
}

class Served : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(scratch / "pair.urdf", pair);
        tool = std::make_unique<ServedTool>(
            std::vector<std::string>{(scratch / "pair.urdf").string()});
        ASSERT_FALSE(tool->url().empty()) << tool->firstLine() << tool->errors();
    }
    httplib::Client client() const {
        httplib::Client client("127.0.0.1", tool->port());
        client.set_read_timeout(20, 0);
        return client;
    }

    ScratchDir scratch;
    std::unique_ptr<ServedTool> tool;
};

TEST_F(Served, PrintsOneLineWithItsAddressAndEndsWithZeroOnSigterm) {
    EXPECT_EQ(tool->firstLine(), "serving " + (scratch / "pair.urdf").string() +
                                     " at http://127.0.0.1:" + std::to_string(tool->port()) + "/");
    EXPECT_EQ(tool->end(SIGTERM), 0) << tool->errors();
}

TEST_F(Served, EndsWithZeroOnSigintWhileAStreamIsOpen) {
    std::atomic<bool> opened{false};
    std::thread stream([&] {
        auto events = client();
        events.Get("/events?since=1", [&](const char*, std::size_t) {
            opened = true;
            return true;
        });
    });
    while (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(tool->end(SIGINT), 0) << tool->errors();
    stream.join();
}

struct Refusal {
    const char* name;
    const char* method;
    const char* path;
    const char* host;  // nullptr: the client's own
    int status;
};

class ServedRefusals : public Served, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ServedRefusals, AreAnsweredWithTheirStatus) {
    const Refusal& refusal = GetParam();
    auto http = client();
    httplib::Headers headers;
    if (refusal.host) {
        std::string host = refusal.host;
        const auto port = host.find("PORT");
        if (port != std::string::npos) host.replace(port, 4, std::to_string(tool->port()));
        headers.emplace("Host", host);
    }
    httplib::Result result =
        std::string(refusal.method) == "POST" ? http.Post(refusal.path, headers, "x", "text/plain")
        : std::string(refusal.method) == "DELETE" ? http.Delete(refusal.path, headers)
                                                  : http.Get(refusal.path, headers);
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, refusal.status);
    EXPECT_FALSE(result->has_header("Access-Control-Allow-Origin"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ServedRefusals, ::testing::Values(
    Refusal{"ForeignHost", "GET", "/", "rebound.example:PORT", 403},
    Refusal{"ForeignHostOnTheScene", "GET", "/scene.json", "attacker.test", 403},
    Refusal{"LocalhostOnAnotherPort", "GET", "/", "localhost:1", 403},
    Refusal{"LocalhostWithThePort", "GET", "/scene.json", "localhost:PORT", 200},
    Refusal{"Traversal", "GET", "/meshes/../scene.json", nullptr, 404},
    Refusal{"EncodedTraversal", "GET", "/%2e%2e/%2e%2e/etc/passwd", nullptr, 404},
    Refusal{"UnknownRoute", "GET", "/etc/passwd", nullptr, 404},
    Refusal{"NoSuchMesh", "GET", "/meshes/0", nullptr, 404},
    Refusal{"MeshNotANumber", "GET", "/meshes/x", nullptr, 404},
    Refusal{"Post", "POST", "/", nullptr, 405},
    Refusal{"Delete", "DELETE", "/scene.json", nullptr, 405}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Served, TheSceneCarriesTheFindingsOnTheirBodiesAndThePageIsAllowedItsServerOnly) {
    auto http = client();
    const auto scene = http.Get("/scene.json");
    ASSERT_TRUE(scene && scene->status == 200);
    const auto json = nlohmann::json::parse(scene->body);
    EXPECT_EQ(json.at("format"), "corvane-scene");
    ASSERT_EQ(json.at("findings").size(), 1u) << scene->body;
    EXPECT_EQ(json.at("findings")[0].at("rule"), "inertia-triangle");
    EXPECT_EQ(json.at("findings")[0].at("body"), "b");
    EXPECT_EQ(json.at("findings")[0].at("line"), 3);
    const auto page = http.Get("/");
    ASSERT_TRUE(page && page->status == 200);
    EXPECT_NE(page->body.find("connect-src 'self'"), std::string::npos);
    EXPECT_NE(page->body.find("\"revision\":1"), std::string::npos);
    const auto head = http.Head("/");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_TRUE(head->body.empty());
}

// Reads one stream until it has seen `wanted` events (comments aside), or the server ends it.
std::vector<std::string> readEvents(int port, std::size_t wanted) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    std::string text;
    std::vector<std::string> events;
    client.Get("/events?since=1", [&](const char* data, std::size_t length) {
        text.append(data, length);
        for (auto end = text.find("\n\n"); end != std::string::npos; end = text.find("\n\n")) {
            const std::string event = text.substr(0, end);
            text.erase(0, end + 2);
            if (event.starts_with("event: ")) events.push_back(event);
        }
        return events.size() < wanted;
    });
    return events;
}

TEST_F(Served, TwoStreamsGetTheSameUpdateAndAFailureAfterIt) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    std::thread one([&] { first = readEvents(tool->port(), 2); });
    std::thread two([&] { second = readEvents(tool->port(), 2); });
    // Both streams are open once the server counts them; a page would show them by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string moved = pair;
    moved.replace(moved.find("xyz=\"0 0 1\""), 11, "xyz=\"0 0 2\"");
    saveAsEditorsDo(scratch / "pair.urdf", moved);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    saveAsEditorsDo(scratch / "pair.urdf",
                    "<robot name=\"pair\">\n  <link name=\"a\">\n</robot>\n");
    one.join();
    two.join();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(first[0].starts_with("event: scene\ndata: {\"format\":\"corvane-scene\""));
    EXPECT_NE(first[0].find("\"revision\":2"), std::string::npos);
    EXPECT_NE(first[0].find("\"position\":[0.0,0.0,2.0]"), std::string::npos) << first[0];
    const std::string failure = "event: failure\ndata: ";
    ASSERT_TRUE(first[1].starts_with(failure)) << first[1];
    const auto told = nlohmann::json::parse(first[1].substr(failure.size()));
    EXPECT_EQ(told.at("line"), 3);
    EXPECT_EQ(told.at("file"), (scratch / "pair.urdf").string());
    EXPECT_NE(told.at("message").get<std::string>().find("malformed XML"), std::string::npos);
    // The last good scene is still served.
    const auto scene = client().Get("/scene.json");
    ASSERT_TRUE(scene);
    EXPECT_NE(scene->body.find("\"position\":[0.0,0.0,2.0]"), std::string::npos);
}

TEST_F(Served, RefusesEventStreamsBeyondItsBound) {
    std::vector<std::thread> open;
    std::atomic<int> opened{0};
    std::atomic<bool> done{false};
    for (int i = 0; i < 8; ++i) {
        open.emplace_back([&] {
            auto events = client();
            events.Get("/events?since=1", [&](const char*, std::size_t) {
                ++opened;
                return !done;
            });
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (opened < 8 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto refused = client().Get("/events?since=1");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    done = true;
    EXPECT_EQ(tool->end(SIGTERM), 0);
    for (auto& thread : open) thread.join();
}

TEST(ServeStart, APortInUseAndAnUnreadableFileExitTwoWithTheirMessage) {
    ScratchDir scratch;
    writeFile(scratch / "pair.urdf", pair);
    ServedTool first({(scratch / "pair.urdf").string()});
    ASSERT_GT(first.port(), 0) << first.errors();
    ServedTool second({(scratch / "pair.urdf").string(), "--port", std::to_string(first.port())});
    EXPECT_EQ(second.end(0), 2);
    EXPECT_EQ(second.errors(), "error: cannot listen on 127.0.0.1:" + std::to_string(first.port()) +
                                   ": Address already in use\n");
    ServedTool missing({(scratch / "absent.urdf").string()});
    EXPECT_EQ(missing.end(0), 2);
    EXPECT_EQ(missing.errors(), "error: " + (scratch / "absent.urdf").string() +
                                    ": cannot open: No such file or directory\n");
}

TEST(ServeStart, AnotherBindThanLoopbackIsWarnedAbout) {
    ScratchDir scratch;
    writeFile(scratch / "pair.urdf", pair);
    ServedTool tool({(scratch / "pair.urdf").string(), "--bind", "0.0.0.0"});
    ASSERT_GT(tool.port(), 0) << tool.errors();
    EXPECT_EQ(tool.end(SIGTERM), 0);
    EXPECT_NE(tool.errors().find("warning: serving on 0.0.0.0, not a loopback address: everyone on "
                                 "that network can read the robot's files"),
              std::string::npos)
        << tool.errors();
}

TEST(ServeMeshes, AreServedByIndexAsTheirFilesHoldThem) {
    if (!fs::is_directory(robotsDir)) GTEST_SKIP() << "no ../shared/robots: skipped";
    const fs::path pendulum =
        robotsDir / "example-robot-data" / "robots" / "double_pendulum_description";
    ServedTool tool({(pendulum / "urdf" / "double_pendulum.urdf").string(), "--package-path",
                     robotsDir.string()});
    ASSERT_GT(tool.port(), 0) << tool.errors();
    httplib::Client client("127.0.0.1", tool.port());
    const auto scene = nlohmann::json::parse(client.Get("/scene.json")->body);
    const auto& meshes = scene.at("meshes");
    ASSERT_FALSE(meshes.empty());
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        EXPECT_TRUE(meshes[i].at("data").is_null());
        EXPECT_EQ(meshes[i].at("url"), "/meshes/" + std::to_string(i));
        const auto bytes = client.Get(meshes[i].at("url").get<std::string>());
        ASSERT_TRUE(bytes && bytes->status == 200);
        const std::string uri = meshes[i].at("path");
        const fs::path file = pendulum / "meshes" / fs::path(uri).filename();
        EXPECT_EQ(bytes->body, readFile(file)) << uri;
    }
}

}  // namespace
