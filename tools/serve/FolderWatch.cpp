#include "serve/FolderWatch.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

// Everything that can change what a file's reader gets: written, created, renamed in or out,
// deleted; and the folder itself moved or deleted.
constexpr std::uint32_t watchedEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_MOVED_TO |
                                        IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF |
                                        IN_MOVE_SELF;

Descriptor orThrow(int descriptor, const char* what) {
    if (descriptor < 0) throw std::system_error(errno, std::generic_category(), what);
    return Descriptor(descriptor);
}

}  // namespace

FolderWatch::FolderWatch()
    : inotify_(orThrow(inotify_init1(IN_NONBLOCK | IN_CLOEXEC), "inotify_init1")),
      stopEvent_(orThrow(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), "eventfd")) {}

void FolderWatch::watch(const std::vector<fs::path>& files) {
    std::map<fs::path, std::set<std::string>> wanted;
    for (const auto& file : files) wanted[file.parent_path()].insert(file.filename().string());
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (wanted.count(it->second) == 0) {
            inotify_rm_watch(inotify_.get(), it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    std::set<fs::path> watched;
    for (const auto& [descriptor, folder] : folders_) watched.insert(folder);
    for (const auto& [folder, names] : wanted) {
        if (watched.count(folder) > 0) continue;
        const int descriptor = inotify_add_watch(inotify_.get(), folder.c_str(), watchedEvents);
        if (descriptor >= 0) folders_[descriptor] = folder;
    }
    names_ = std::move(wanted);
}

bool FolderWatch::pollEvents(int timeoutMs, bool& eventsReady) {
    std::array<pollfd, 2> descriptors{pollfd{inotify_.get(), POLLIN, 0},
                                      pollfd{stopEvent_.get(), POLLIN, 0}};
    eventsReady = false;
    int ready = 0;
    do {
        ready = poll(descriptors.data(), descriptors.size(), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) throw std::system_error(errno, std::generic_category(), "poll");
    if (descriptors[1].revents != 0) {
        stopped_ = true;
        return false;
    }
    eventsReady = descriptors[0].revents != 0;
    return true;
}

bool FolderWatch::readEvents() {
    alignas(inotify_event) std::array<char, 16384> buffer;
    bool relevant = false;
    for (;;) {
        const ssize_t length = read(inotify_.get(), buffer.data(), buffer.size());
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) relevant = true;
            const auto folder = folders_.find(event->wd);
            if (folder == folders_.end()) continue;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) relevant = true;
            if (event->len == 0) continue;
            const auto names = names_.find(folder->second);
            if (names != names_.end() && names->second.count(event->name) > 0) relevant = true;
        }
    }
    return relevant;
}

bool FolderWatch::waitForChange(std::chrono::milliseconds quiet) {
    bool eventsReady = false;
    for (;;) {
        if (stopped_ || !pollEvents(-1, eventsReady)) return false;
        if (eventsReady && readEvents()) break;
    }
    // A save is often several events (write, rename, attributes): wait for the quiet after the
    // last one that concerns a watched file.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + quiet;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return true;
        if (!pollEvents(static_cast<int>(left.count()), eventsReady)) return false;
        if (!eventsReady) return true;
        if (readEvents()) deadline = Clock::now() + quiet;
    }
}

void FolderWatch::stop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(stopEvent_.get(), &one, sizeof(one));
}

}  // namespace corvane::tools
