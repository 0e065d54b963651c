// The lifecycle and the error answers of the endpoint, over a whole conversation written at once.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "jsonrpc/Endpoint.hpp"
#include "jsonrpc/Framing.hpp"

namespace {

using namespace corvane::tools::jsonrpc;

std::string framed(const std::vector<std::string>& bodies) {
    std::ostringstream out;
    for (const auto& body : bodies) writeFrame(out, body);
    return out.str();
}

std::string request(int id, const std::string& method, const std::string& params = "{}") {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
           R"(","params":)" + params + "}";
}

std::string note(const std::string& method, const std::string& params = "{}") {
    return R"({"jsonrpc":"2.0","method":")" + method + R"(","params":)" + params + "}";
}

struct Conversation {
    int status = -1;
    std::vector<Json> answers;
    std::vector<std::string> notified;
};

// Runs an endpoint with an "initialize" and an "echo" request and a "seen" notification over
// the messages `bodies`, raw `extra` bytes after them.
Conversation converse(const std::vector<std::string>& bodies, const std::string& extra = "") {
    std::istringstream in(framed(bodies) + extra);
    std::ostringstream out;
    std::ostringstream log;
    Conversation conversation;
    {
        Inbox inbox(in);
        Endpoint endpoint(inbox, out, log);
        endpoint.onRequest("initialize", [](const Json&) { return Json{{"capabilities", {}}}; });
        endpoint.onRequest("echo", [](const Json& params) { return params; });
        endpoint.onRequest("fail", [](const Json&) -> Json {
            throw ResponseError(ErrorCode::InvalidParams, "QQQ");
        });
        endpoint.onNotification(
            "seen", [&](const Json& params) { conversation.notified.push_back(params.dump()); });
        conversation.status = endpoint.run();
    }
    std::istringstream written(out.str());
    for (Frame frame = readFrame(written); frame.kind == Frame::Kind::Message;
         frame = readFrame(written)) {
        conversation.answers.push_back(Json::parse(frame.body));
    }
    return conversation;
}

int errorCode(const Json& answer) {
    return answer.at("error").at("code").get<int>();
}

TEST(Endpoint, ShutdownThenExitEndsWithStatusZero) {
    const auto c = converse({request(1, "initialize"), request(2, "echo", R"({"x":1})"),
                             request(3, "shutdown"), note("exit")});
    EXPECT_EQ(c.status, 0);
    ASSERT_EQ(c.answers.size(), 3u);
    EXPECT_EQ(c.answers[1]["result"], Json({{"x", 1}}));
    EXPECT_TRUE(c.answers[2]["result"].is_null());
}

TEST(Endpoint, ExitWithoutShutdownEndsWithStatusOne) {
    EXPECT_EQ(converse({request(1, "initialize"), note("exit")}).status, 1);
    // The client went away without a word.
    EXPECT_EQ(converse({request(1, "initialize")}).status, 1);
}

TEST(Endpoint, NothingIsReadAfterExit) {
    const auto c = converse(
        {request(1, "initialize"), request(2, "shutdown"), note("exit"), request(3, "echo")});
    EXPECT_EQ(c.answers.size(), 2u);
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> bodies;
    std::string extra;
    Json id;
    ErrorCode code;
};

class AnswersWithAnError : public ::testing::TestWithParam<ErrorCase> {};

// Every case starts with an initialized server (but the first), and the error is the last
// answer.
TEST_P(AnswersWithAnError, OfTheRightCode) {
    const auto c = converse(GetParam().bodies, GetParam().extra);
    ASSERT_FALSE(c.answers.empty());
    const Json& last = c.answers.back();
    ASSERT_TRUE(last.contains("error")) << last.dump();
    EXPECT_EQ(errorCode(last), static_cast<int>(GetParam().code)) << last.dump();
    EXPECT_EQ(last["id"], GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Endpoint, AnswersWithAnError,
    ::testing::Values(
        ErrorCase{"BeforeInitialize", {request(7, "echo")}, "", 7, ErrorCode::ServerNotInitialized},
        ErrorCase{"UnknownMethod",
                  {request(1, "initialize"), request(2, "QQQ")},
                  "",
                  2,
                  ErrorCode::MethodNotFound},
        ErrorCase{"NoJson",
                  {request(1, "initialize"), "{\"jsonrpc\": QQQ"},
                  "",
                  nullptr,
                  ErrorCode::ParseError},
        ErrorCase{"NoMethod",
                  {request(1, "initialize"), R"({"jsonrpc":"2.0","id":5})"},
                  "",
                  5,
                  ErrorCode::InvalidRequest},
        ErrorCase{"NoObject",
                  {request(1, "initialize"), "[1,2]"},
                  "",
                  nullptr,
                  ErrorCode::InvalidRequest},
        ErrorCase{"InitializedTwice",
                  {request(1, "initialize"), request(2, "initialize")},
                  "",
                  2,
                  ErrorCode::InvalidRequest},
        ErrorCase{"AfterShutdown",
                  {request(1, "initialize"), request(2, "shutdown"), request(3, "echo")},
                  "",
                  3,
                  ErrorCode::InvalidRequest},
        ErrorCase{"HandlerRefuses",
                  {request(1, "initialize"), request(2, "fail")},
                  "",
                  2,
                  ErrorCode::InvalidParams},
        ErrorCase{"CancelledBeforeItsTurn",
                  {request(1, "initialize"), note("$/cancelRequest", R"({"id":"two"})"),
                   R"({"jsonrpc":"2.0","id":"two","method":"echo","params":{}})"},
                  "",
                  "two",
                  ErrorCode::RequestCancelled}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Endpoint, GoesOnAfterBadInput) {
    const auto c = converse({request(1, "initialize"), "QQQ", request(2, "echo", "[3]")});
    ASSERT_EQ(c.answers.size(), 3u);
    EXPECT_EQ(errorCode(c.answers[1]), static_cast<int>(ErrorCode::ParseError));
    EXPECT_EQ(c.answers[2]["result"], Json::array({3}));
}

TEST(Endpoint, NotificationsCountOnlyOnceInitialized) {
    const auto c = converse({note("seen", "[1]"), request(1, "initialize"), note("seen", "[2]"),
                             note("QQQ"), note("$/setTrace", "{}")});
    EXPECT_EQ(c.notified, std::vector<std::string>{"[2]"});
    EXPECT_EQ(c.answers.size(), 1u);
}

}  // namespace
