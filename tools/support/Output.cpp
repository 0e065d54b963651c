#include "support/Output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "support/Files.hpp"
#include "support/ToolError.hpp"

namespace fs = std::filesystem;

namespace corvane::tools {

namespace {

// Writes everything, resuming after partial writes and interrupted calls; the errno of the
// failure otherwise.
int writeFully(int descriptor, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(descriptor, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void writeToStandardOutput(std::string_view content) {
    const std::string name = "<stdout>";
    if (std::fwrite(content.data(), 1, content.size(), stdout) != content.size() ||
        std::fflush(stdout) != 0) {
        throw ioError(name, "write", errno);
    }
}

// Devices and pipes: opened as they are, never created, truncated or replaced.
void writeDirectly(std::string_view content, const fs::path& destination) {
    Descriptor file(::open(destination.c_str(), O_WRONLY | O_CLOEXEC));
    if (!file.isOpen()) throw ioError(destination.string(), "open", errno);
    const int writeError = writeFully(file.get(), content);
    // A device or a pipe can report a failed write only when it is closed.
    const int closeError = ::close(file.release()) == 0 ? 0 : errno;
    if (writeError != 0) throw ioError(destination.string(), "write", writeError);
    if (closeError != 0) throw ioError(destination.string(), "write", closeError);
}

// The file mode a replacement gets: the mode of the file it replaces, else what a newly created
// file would get under the process's umask.
mode_t replacementMode(const fs::path& destination) {
    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A temporary file beside the destination, removed again unless it has been moved into place.
class TemporaryFile {
  public:
    explicit TemporaryFile(const fs::path& destination) : destination_(destination) {
        const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
        std::string name = ".";
        name += destination.filename().string();
        name += ".XXXXXX";
        const std::string pattern = folder / name;
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        descriptor_ = Descriptor(::mkstemp(buffer.data()));
        if (!descriptor_.isOpen()) throw ioError(destination.string(), "write", errno);
        path_ = buffer.data();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        descriptor_.close();
        if (!committed_) ::unlink(path_.c_str());
    }

    void write(std::string_view content) {
        const int error = writeFully(descriptor_.get(), content);
        if (error != 0) throw ioError(destination_.string(), "write", error);
    }

    // Makes the content durable, then moves the file over the destination in one step.
    void commit(mode_t mode) {
        if (::fchmod(descriptor_.get(), mode) != 0 || ::fsync(descriptor_.get()) != 0) {
            throw ioError(destination_.string(), "write", errno);
        }
        const int closeResult = ::close(descriptor_.release());
        if (closeResult != 0) throw ioError(destination_.string(), "write", errno);
        if (::rename(path_.c_str(), destination_.c_str()) != 0) {
            throw ioError(destination_.string(), "replace", errno);
        }
        committed_ = true;
    }

  private:
    fs::path destination_;
    std::string path_;
    Descriptor descriptor_;
    bool committed_ = false;
};

void replaceFile(std::string_view content, const fs::path& destination) {
    TemporaryFile temporary(destination);
    temporary.write(content);
    temporary.commit(replacementMode(destination));
}

// A symbolic link to an existing file stands for that file: the file is replaced and the link
// stays, as when writing through the link with a shell redirection.
fs::path resolveLink(const fs::path& destination) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(destination, error))) return destination;
    const fs::path target = fs::canonical(destination, error);
    return error ? destination : target;
}

}  // namespace

void writeOutput(std::string_view content, const std::optional<fs::path>& destination) {
    if (!destination) {
        writeToStandardOutput(content);
        return;
    }
    const fs::path path = resolveLink(*destination);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) throw ioError(destination->string(), "write", EISDIR);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        writeDirectly(content, path);
        return;
    }
    replaceFile(content, path);
}

}  // namespace corvane::tools
