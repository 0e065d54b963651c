// Watching the files of a run for changes, with inotify on their folders: editors save by
// writing a new file and renaming it over the old one, which a watch on the file itself would
// lose.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/Files.hpp"

namespace corvane::tools {

class FolderWatch {
  public:
    // Throws std::system_error when inotify cannot be set up.
    FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // From now on, `files` (absolute) and no others: their folders are watched, folders no
    // longer needed are let go. A folder that cannot be watched (gone) is left out.
    void watch(const std::vector<std::filesystem::path>& files);
    // Waits until a watched file is written, created, renamed or deleted and then `quiet` passes
    // without another such change. False once stop() was called.
    bool waitForChange(std::chrono::milliseconds quiet);
    // Ends waitForChange from another thread (or a signal handler's thread).
    void stop();

  private:
    // Whether the events read now name a watched file; false when nothing could be read.
    bool readEvents();
    // Waits for events or the stop, at most `timeout` (negative: for ever). False on the stop.
    bool pollEvents(int timeoutMs, bool& eventsReady);

    Descriptor inotify_;
    Descriptor stopEvent_;
    bool stopped_ = false;
    // Watch descriptor to folder, and each folder's watched file names.
    std::map<int, std::filesystem::path> folders_;
    std::map<std::filesystem::path, std::set<std::string>> names_;
};

}  // namespace corvane::tools
