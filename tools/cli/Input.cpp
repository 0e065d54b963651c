#include "cli/Input.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "cli/Options.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

ToolError ioError(const std::string& name, const char* action, int error) {
    return ToolError(ExitStatus::UsageOrIo,
                     name + ": cannot " + action + ": " + std::generic_category().message(error));
}

std::string readAll(std::FILE* stream, const std::string& name) {
    std::string content;
    std::array<char, 64 * 1024> buffer{};
    while (true) {
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), stream);
        content.append(buffer.data(), count);
        if (count < buffer.size()) break;
    }
    if (std::ferror(stream)) throw ioError(name, "read", errno);
    return content;
}

}  // namespace

std::string inputDisplayName(const std::string& input) {
    return input == standardStream ? "<stdin>" : input;
}

std::string readInput(const std::string& input) {
    const std::string name = inputDisplayName(input);
    if (input == standardStream) return readAll(stdin, name);
    errno = 0;
    const FileHandle file(std::fopen(input.c_str(), "rb"));
    if (!file) throw ioError(name, "open", errno);
    return readAll(file.get(), name);
}

}  // namespace corvane::tools
