// A picture of the 3D page: headless Chromium opens the page from a temporary folder and takes
// a screenshot of the framed view.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace corvane::tools {

struct SnapshotSettings {
    int width = 1280;
    int height = 800;
    // Virtual time the page gets to load its meshes and draw before the picture is taken.
    std::chrono::milliseconds pageTime{10000};
    // Chromium is killed when it runs longer than this.
    std::chrono::milliseconds timeout{60000};
};

// The PNG Chromium (`chromium`, looked up in PATH) takes of `html`. Throws ToolError (usage or
// I/O) with a one-line message naming no input ("cannot draw snapshot: ...") when Chromium is
// missing, fails, runs too long or takes no picture. The temporary folder goes in any case.
std::string snapshotOfPage(std::string_view html, const SnapshotSettings& settings = {});

}  // namespace corvane::tools
