// corvane-urdf serve: one robot's live 3D page. The server analyses the robot, serves the page,
// its scene and meshes, and after every save of a file the run read (inotify on their folders, a
// quiet ~100 ms after the last change) analyses it again and sends each open page the new scene,
// or the failure, as a Server-Sent Event.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include "session/Analysis.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

struct ServeOptions {
    AnalysisRequest request;
    // Where to listen; "127.0.0.1" unless the user says otherwise. Port 0 takes a free one.
    std::string bind = "127.0.0.1";
    int port = 0;
    // Open the page with xdg-open once listening.
    bool open = false;
    // How long the files must stay unchanged after a change before the robot is analysed again.
    std::chrono::milliseconds quietPeriod{100};
    // At most this many event streams at once; more are refused with 503.
    std::size_t maxStreams = 8;
    // Requests with a larger body are refused (the routes take none).
    std::size_t maxRequestBytes = 8192;
    // No xacro messages on standard error.
    bool quiet = false;
    // Where three.js is read from for the page.
    std::filesystem::path threeFolder;
};

// Serves until SIGINT or SIGTERM (then Success). Prints "serving FILE at http://ADDR:PORT/" on
// standard output once listening. UsageOrIo when the top file cannot be read at the start or
// the address cannot be listened on ("error: cannot listen on ADDR:PORT: CAUSE" on standard
// error); both are reported here.
ExitStatus serveRobot(const ServeOptions& options);

// Whether a request's Host header names this server: the bound address or localhost, with the
// port; for a server bound to every address (0.0.0.0, ::), any IP address with the port. A name
// that some other DNS server resolves (DNS rebinding) is never one of them.
bool hostAllowed(const std::string& host, const std::string& bind, int port);

// Whether ADDR is a loopback address (127.0.0.0/8, ::1, localhost).
bool isLoopback(const std::string& address);

}  // namespace corvane::tools
