#include "support/Files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "support/ToolError.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

// Reads to the end of the stream; the errno of the failure, or 0.
int readToEnd(int descriptor, std::string& into) {
    std::array<char, 64 * 1024> buffer{};
    while (true) {
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count == 0) return 0;
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        into.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = other.release();
    }
    return *this;
}

int Descriptor::release() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return descriptor;
}

void Descriptor::close() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

std::string readAll(int descriptor, const std::string& name) {
    std::string content;
    if (const int error = readToEnd(descriptor, content); error != 0) {
        throw ioError(name, "read", error);
    }
    return content;
}

std::string readWholeFile(const fs::path& path, const std::string& name) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) throw ioError(name, "open", errno);
    return readAll(file.get(), name);
}

std::optional<std::string> readWholeFileIfReadable(const fs::path& path) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) return std::nullopt;
    std::string content;
    if (readToEnd(file.get(), content) != 0) return std::nullopt;
    return content;
}

}  // namespace corvane::tools
