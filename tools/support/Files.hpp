// Files as the tool reads them: descriptors that close themselves, whole-file reads, and the
// messages that name a file and the cause when it cannot be read.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::tools {

// A file descriptor, closed when it goes out of scope. -1 stands for none.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : descriptor_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }

    int get() const { return descriptor_; }
    bool isOpen() const { return descriptor_ >= 0; }
    // Gives up ownership: the caller closes the descriptor.
    int release();
    // Closes the descriptor, if open; the result of close(2) is not looked at.
    void close();

  private:
    int descriptor_ = -1;
};

// Everything that can still be read from `descriptor`, resuming after partial reads and
// interrupted calls. Throws ToolError (usage or I/O) "NAME: cannot read: CAUSE" on failure.
std::string readAll(int descriptor, const std::string& name);

// The whole content of the file at `path`. Throws ToolError (usage or I/O) "NAME: cannot open:
// CAUSE" or "NAME: cannot read: CAUSE", where NAME is `name`.
std::string readWholeFile(const std::filesystem::path& path, const std::string& name);

// The whole content of the file at `path`, or nothing when it cannot be opened or read.
std::optional<std::string> readWholeFileIfReadable(const std::filesystem::path& path);

}  // namespace corvane::tools
