// Frames as editors send them, and as they arrive broken.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "jsonrpc/Framing.hpp"

namespace {

using corvane::tools::jsonrpc::Frame;
using corvane::tools::jsonrpc::readFrame;
using corvane::tools::jsonrpc::writeFrame;

struct FrameCase {
    const char* name;
    std::string stream;
    Frame::Kind kind;
    std::string body;
};

class ReadsOneFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ReadsOneFrame, AsDeclared) {
    std::istringstream in(GetParam().stream);
    const Frame frame = readFrame(in, 16);
    EXPECT_EQ(frame.kind, GetParam().kind);
    if (frame.kind == Frame::Kind::Message) {
        EXPECT_EQ(frame.body, GetParam().body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Framing, ReadsOneFrame,
    ::testing::Values(
        FrameCase{"Plain", "Content-Length: 2\r\n\r\n{}", Frame::Kind::Message, "{}"},
        FrameCase{"WithContentType",
                  "Content-Type: application/vscode-jsonrpc; charset=utf-8\r\n"
                  "Content-Length: 4\r\n\r\n[1,]",
                  Frame::Kind::Message, "[1,]"},
        FrameCase{"NameInAnyCaseAndSpaces", "content-length:   3  \r\n\r\nabc",
                  Frame::Kind::Message, "abc"},
        FrameCase{"BareLineFeeds", "Content-Length: 1\n\nx", Frame::Kind::Message, "x"},
        FrameCase{"BlankLinesBefore", "\r\n\r\nContent-Length: 1\r\n\r\ny", Frame::Kind::Message,
                  "y"},
        FrameCase{"AtTheLimit", "Content-Length: 16\r\n\r\n0123456789abcdef", Frame::Kind::Message,
                  "0123456789abcdef"},
        FrameCase{"OverTheLimit", "Content-Length: 17\r\n\r\n0123456789abcdefg",
                  Frame::Kind::TooLarge, ""},
        FrameCase{"NoLength", "Content-Type: x\r\n\r\n{}", Frame::Kind::BadHeader, ""},
        FrameCase{"LengthNoNumber", "Content-Length: 1e3\r\n\r\n{}", Frame::Kind::BadHeader, ""},
        FrameCase{"NegativeLength", "Content-Length: -2\r\n\r\n{}", Frame::Kind::BadHeader, ""},
        FrameCase{"BodyCutShort", "Content-Length: 9\r\n\r\n{}", Frame::Kind::End, ""},
        FrameCase{"HeaderCutShort", "Content-Length: 9", Frame::Kind::End, ""},
        FrameCase{"Nothing", "", Frame::Kind::End, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A message over the limit is read past, so the one after it arrives whole.
TEST(Framing, SkipsAMessageOverTheLimitAndReadsTheNext) {
    std::istringstream in("Content-Length: 20\r\n\r\n" + std::string(20, 'Q') +
                          "Content-Length: 2\r\n\r\n{}");
    const Frame skipped = readFrame(in, 10);
    EXPECT_EQ(skipped.kind, Frame::Kind::TooLarge);
    EXPECT_EQ(skipped.length, 20u);
    const Frame next = readFrame(in, 10);
    EXPECT_EQ(next.kind, Frame::Kind::Message);
    EXPECT_EQ(next.body, "{}");
}

TEST(Framing, WrittenFramesReadBack) {
    std::stringstream stream;
    const std::vector<std::string> bodies{"{}", "{\"a\":\"\xc3\xa9\r\n\"}", ""};
    for (const auto& body : bodies) writeFrame(stream, body);
    for (const auto& body : bodies) {
        const Frame frame = readFrame(stream);
        EXPECT_EQ(frame.kind, Frame::Kind::Message);
        EXPECT_EQ(frame.body, body);
    }
    EXPECT_EQ(readFrame(stream).kind, Frame::Kind::End);
}

}  // namespace
