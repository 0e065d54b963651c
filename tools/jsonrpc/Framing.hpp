// The framing of the Language Server Protocol on a byte stream: header lines ending in "\r\n"
// (Content-Length, and Content-Type, which is ignored), an empty line, then the body of exactly
// Content-Length bytes.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace corvane::tools::jsonrpc {

// No editor sends a document this large; a longer message is skipped unread rather than held.
inline constexpr std::size_t maximumMessageSize = std::size_t{64} * 1024 * 1024;

struct Frame {
    enum class Kind {
        Message,    // `body` holds the message
        TooLarge,   // `length` bytes were declared and skipped
        BadHeader,  // a header without a Content-Length that can be read; `body` holds the header
        End,        // the stream ended (in the middle of a message or between two)
    };
    Kind kind = Kind::End;
    std::string body;
    std::size_t length = 0;
};

// Reads the next frame of `in`. A body longer than `limit` is read past in pieces, never held.
Frame readFrame(std::istream& in, std::size_t limit = maximumMessageSize);

// Writes `body` as one frame and flushes it.
void writeFrame(std::ostream& out, std::string_view body);

}  // namespace corvane::tools::jsonrpc
