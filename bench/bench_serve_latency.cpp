// corvane-urdf serve on the PR2 of ../shared/xacro: the time from a file's save to the "scene"
// event (as a client of /events receives it) and to the page's next drawn frame (as the page in
// headless Chromium with software WebGL records it), over 20 saves of an included macro file.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChromiumPipe.hpp"
#include "ServedTool.hpp"

namespace fs = std::filesystem;
using corvane::testing::ChromiumPipe;
using corvane::testing::saveAsEditorsDo;
using corvane::testing::ServedTool;

namespace {

double epochMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The receipt times of the "scene" events of one stream.
class SceneEvents {
  public:
    explicit SceneEvents(int port) : thread_([this, port] { listen(port); }) {}
    ~SceneEvents() {
        stop_ = true;
        thread_.join();
    }
    std::size_t count() const {
        const std::lock_guard lock(mutex_);
        return times_.size();
    }
    double time(std::size_t i) const {
        const std::lock_guard lock(mutex_);
        return times_.at(i);
    }

  private:
    void listen(int port) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(60, 0);
        std::string text;
        client.Get("/events?since=1", [&](const char* data, std::size_t length) {
            text.append(data, length);
            for (auto end = text.find("\n\n"); end != std::string::npos; end = text.find("\n\n")) {
                if (text.starts_with("event: scene")) {
                    const std::lock_guard lock(mutex_);
                    times_.push_back(epochMs());
                }
                text.erase(0, end + 2);
            }
            return !stop_;
        });
    }

    mutable std::mutex mutex_;
    std::vector<double> times_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

int main() {
    const fs::path shared = fs::path(CORVANE_SHARED_DIR) / "xacro" / "packages" / "PR2+pr2_common";
    if (!fs::is_directory(shared)) {
        std::fprintf(stderr, "serve-latency: no PR2 at %s\n", shared.c_str());
        return 1;
    }
    const fs::path work =
        fs::temp_directory_path() / ("corvane-serve-latency." + std::to_string(::getpid()));
    fs::copy(shared, work, fs::copy_options::recursive);
    const fs::path edited = work / "pr2_description" / "urdf" / "forearm_v0" / "forearm.urdf.xacro";
    const std::string original = readText(edited);
    const std::string value = "0.18791";
    ServedTool tool({(work / "pr2_description" / "robots" / "pr2.urdf.xacro").string(),
                     "--package-path", work.string(), "-q"});
    if (tool.url().empty()) {
        std::fprintf(stderr, "serve-latency: the server did not start: %s\n",
                     tool.errors().c_str());
        return 1;
    }
    ChromiumPipe browser;
    browser.open(tool.url());
    if (!browser.waitFor("!!window.corvaneViewer && !!corvaneViewer.live && "
                         "corvaneViewer.ready.then(function() { return true; })",
                         std::chrono::seconds(120))) {
        std::fprintf(stderr, "serve-latency: the page did not get ready\n");
        return 1;
    }
    SceneEvents events(tool.port());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    constexpr int saves = 20;
    std::vector<double> toEvent;
    std::vector<double> toFrame;
    for (int i = 0; i < saves; ++i) {
        std::string text = original;
        text.replace(text.find(value), value.size(), "0.1879" + std::to_string(2 + i % 7));
        const std::size_t seen = events.count();
        const std::size_t swapped =
            browser.evaluate("corvaneViewer.live().swaps.length").get<std::size_t>();
        const double saved = epochMs();
        saveAsEditorsDo(edited, text);
        while (events.count() == seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        toEvent.push_back(events.time(seen) - saved);
        browser.waitFor("corvaneViewer.live().swaps.length > " + std::to_string(swapped),
                        std::chrono::seconds(60));
        const double drawn =
            browser.evaluate("corvaneViewer.live().swaps[" + std::to_string(swapped) + "].drawnMs")
                .get<double>();
        toFrame.push_back(drawn - saved);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    tool.end();
    fs::remove_all(work);
    std::printf(
        "serve-latency: PR2 (pr2.urdf.xacro of ../shared/xacro), %d saves of forearm.urdf.xacro\n",
        saves);
    std::printf(
        "  save -> scene event: median %.1f ms (min %.1f, max %.1f), of which the quiet wait ~100 "
        "ms\n",
        median(toEvent), *std::min_element(toEvent.begin(), toEvent.end()),
        *std::max_element(toEvent.begin(), toEvent.end()));
    std::printf("  save -> drawn frame: median %.1f ms (min %.1f, max %.1f)\n", median(toFrame),
                *std::min_element(toFrame.begin(), toFrame.end()),
                *std::max_element(toFrame.begin(), toFrame.end()));
    return 0;
}
