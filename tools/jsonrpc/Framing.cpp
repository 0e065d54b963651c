#include "jsonrpc/Framing.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>

namespace corvane::tools::jsonrpc {

namespace {

// A header line is short; one that runs on is no header, and is not held either.
constexpr std::size_t maximumHeaderLine = 4096;

// One header line without its "\r\n" (a lone "\n" is taken too), or nothing at the end.
std::optional<std::string> readHeaderLine(std::istream& in) {
    std::string line;
    char c = 0;
    while (in.get(c)) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (line.size() < maximumHeaderLine) line.push_back(c);
    }
    return std::nullopt;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The value of a "Content-Length: N" line, or nothing.
std::optional<std::size_t> contentLength(std::string_view line) {
    constexpr std::string_view name = "content-length:";
    if (!startsWithNoCase(line, name)) return std::nullopt;
    std::string_view value = line.substr(name.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    std::size_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
        return std::nullopt;
    }
    return length;
}

// Reads past `length` bytes; false when the stream ends first.
bool skipBytes(std::istream& in, std::size_t length) {
    std::array<char, 65536> buffer{};
    while (length > 0) {
        const auto piece = static_cast<std::streamsize>(std::min(length, buffer.size()));
        in.read(buffer.data(), piece);
        if (in.gcount() != piece) return false;
        length -= static_cast<std::size_t>(piece);
    }
    return true;
}

}  // namespace

Frame readFrame(std::istream& in, std::size_t limit) {
    std::optional<std::size_t> length;
    std::string header;
    bool sawLine = false;
    while (true) {
        const auto line = readHeaderLine(in);
        if (!line) return {};
        if (line->empty()) {
            // Blank lines between messages are no header.
            if (!sawLine) continue;
            break;
        }
        sawLine = true;
        header += *line + "\n";
        if (const auto value = contentLength(*line)) length = value;
    }
    if (!length) return {Frame::Kind::BadHeader, header, 0};
    if (*length > limit) {
        if (!skipBytes(in, *length)) return {};
        return {Frame::Kind::TooLarge, {}, *length};
    }
    std::string body(*length, '\0');
    in.read(body.data(), static_cast<std::streamsize>(*length));
    if (static_cast<std::size_t>(in.gcount()) != *length) return {};
    return {Frame::Kind::Message, std::move(body), *length};
}

void writeFrame(std::ostream& out, std::string_view body) {
    out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
    out.flush();
}

}  // namespace corvane::tools::jsonrpc
