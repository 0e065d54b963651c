#include "serve/Server.hpp"

#include <arpa/inet.h>
#include <httplib.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "page/HtmlPage.hpp"
#include "serve/EventStreams.hpp"
#include "serve/FolderWatch.hpp"
#include "serve/LiveRobot.hpp"
#include "support/ChildProcess.hpp"
#include "support/Files.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

// How long an event stream may stay silent before a comment tells the browser it is alive (and
// tells the server whether the browser still is).
constexpr std::chrono::seconds streamIdle{15};

bool isIpAddress(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 ||
           inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isWildcard(const std::string& address) {
    return address == "0.0.0.0" || address == "::" || address.empty();
}

// "host:port" with IPv6 addresses in brackets, as URLs and Host headers write them.
std::string hostAndPort(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// The host of a Host header without its port and brackets, and the port ("" when none).
std::pair<std::string, std::string> splitHost(const std::string& header) {
    if (!header.empty() && header.front() == '[') {
        const auto close = header.find(']');
        if (close == std::string::npos) return {header, ""};
        const std::string rest = header.substr(close + 1);
        return {header.substr(1, close - 1), rest.starts_with(":") ? rest.substr(1) : ""};
    }
    const auto colon = header.rfind(':');
    if (colon == std::string::npos) return {header, ""};
    return {header.substr(0, colon), header.substr(colon + 1)};
}

// Why ADDR:PORT cannot be listened on, as the system says it: httplib only tells that it could
// not, so the bind is tried once more here for its errno.
std::string listenCause(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int lookup = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) return gai_strerror(lookup);
    std::string cause = "the address cannot be used";
    const Descriptor socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    if (!socket.isOpen()) {
        cause = errorText(errno);
    } else {
        const int reuse = 1;
        setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
        if (bind(socket.get(), found->ai_addr, found->ai_addrlen) != 0 ||
            listen(socket.get(), 1) != 0)
            cause = errorText(errno);
    }
    freeaddrinfo(found);
    return cause;
}

void printFailure(const AnalysisFailure& failure) {
    std::fprintf(stderr, "error: %s\n", onOneLine(failure.text()).c_str());
    for (const auto& note : failure.noteLines())
        std::fprintf(stderr, "%s\n", onOneLine(note).c_str());
    std::fflush(stderr);
}

void printMessages(const RobotAnalysis& analysis, bool quiet) {
    if (quiet) return;
    for (const auto& message : analysis.messages)
        std::fprintf(stderr, "%s\n", onOneLine(message).c_str());
}

// Every signal that ends the server is taken by sigwait alone: blocked here, before any thread
// starts, so every thread inherits the mask.
sigset_t blockEndingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return signals;
}

class LiveServer {
  public:
    explicit LiveServer(const ServeOptions& options)
        : options_(options), streams_(options.maxStreams) {}

    // The first run; false (reported) when the top file cannot be read, or three.js is missing.
    bool start() {
        const RobotAnalysis analysis = analyseRobot(options_.request);
        printMessages(analysis, options_.quiet);
        if (analysis.failure) {
            printFailure(*analysis.failure);
            if (analysis.failure->status == ExitStatus::UsageOrIo) return false;
        }
        record(analysis);
        try {
            (void)livePage(robot_.state()->pageSceneJson(), options_.threeFolder);
        } catch (const ToolError& error) {
            std::fprintf(stderr, "error: %s\n", onOneLine(error.what()).c_str());
            return false;
        }
        return true;
    }

    // Binds the address; false (reported) when it cannot.
    bool listen() {
        setRoutes();
        port_ = options_.port == 0
                    ? server_.bind_to_any_port(options_.bind)
                    : (server_.bind_to_port(options_.bind, options_.port) ? options_.port : -1);
        if (port_ > 0) return true;
        std::fprintf(stderr, "error: cannot listen on %s: %s\n",
                     hostAndPort(options_.bind, options_.port).c_str(),
                     listenCause(options_.bind, options_.port).c_str());
        return false;
    }

  private:
    void announce() const {
        if (!isLoopback(options_.bind)) {
            std::fprintf(stderr,
                         "warning: serving on %s, not a loopback address: everyone on that "
                         "network can read the robot's files\n",
                         options_.bind.c_str());
            std::fflush(stderr);
        }
        std::printf("serving %s at %s\n", options_.request.topFile.c_str(), url().c_str());
        std::fflush(stdout);
    }

  public:
    std::string url() const { return "http://" + hostAndPort(options_.bind, port_) + "/"; }

    // Announces the address, then serves and watches until SIGINT or SIGTERM.
    void run(const sigset_t& endingSignals) {
        std::atomic<bool> ended{false};
        std::thread serving([this, &ended] {
            server_.listen_after_bind();
            ended = true;
        });
        // Announced once requests are taken, and so that a stop reaches a running server.
        while (!server_.is_running() && !ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        announce();
        std::thread watching([this] { watchAndRerun(); });
        std::thread opening;
        if (options_.open) opening = std::thread([this] { openInBrowser(); });
        int received = 0;
        while (sigwait(&endingSignals, &received) != 0) {
        }
        watch_.stop();
        streams_.close();
        server_.stop();
        serving.join();
        watching.join();
        if (opening.joinable()) opening.join();
    }

  private:
    void record(const RobotAnalysis& analysis) {
        robot_.publish(analysis);
        if (analysis.succeeded()) lastGoodFiles_ = analysis.files;
        // A failed run may have read fewer files (an include it never reached): the files of the
        // last good run stay watched, so that undoing the change is seen too.
        std::set<fs::path> files(analysis.files.begin(), analysis.files.end());
        files.insert(lastGoodFiles_.begin(), lastGoodFiles_.end());
        watch_.watch({files.begin(), files.end()});
    }

    void watchAndRerun() {
        while (watch_.waitForChange(options_.quietPeriod)) {
            const RobotAnalysis analysis = analyseRobot(options_.request);
            printMessages(analysis, options_.quiet);
            if (analysis.failure) printFailure(*analysis.failure);
            record(analysis);
            streams_.broadcast(robot_.state()->event());
        }
    }

    void openInBrowser() const {
        try {
            (void)runProgram({"xdg-open", url()}, "", std::chrono::seconds(30));
        } catch (const std::exception&) {
            // No xdg-open: the address printed is enough.
        }
    }

    void setRoutes();
    void streamEvents(const httplib::Request& request, httplib::Response& response);

    const ServeOptions& options_;
    LiveRobot robot_;
    EventStreams streams_;
    FolderWatch watch_;
    std::vector<fs::path> lastGoodFiles_;
    httplib::Server server_;
    int port_ = -1;
};

void textResponse(httplib::Response& response, int status, const std::string& text) {
    response.status = status;
    response.set_content(text + "\n", "text/plain; charset=utf-8");
}

void LiveServer::setRoutes() {
    // httplib's own options share the port (SO_REUSEPORT) with any other server on it, so that a
    // port in use would not be told; reusing the address of a closed connection is enough.
    server_.set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    server_.set_payload_max_length(options_.maxRequestBytes);
    server_.set_keep_alive_timeout(2);
    // Every stream holds a thread: enough threads for all of them and a few requests besides.
    const std::size_t threads = options_.maxStreams + 8;
    server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (!hostAllowed(request.get_header_value("Host"), options_.bind, port_)) {
                textResponse(response, 403, "forbidden: this server answers to its own address");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.method != "GET" && request.method != "HEAD") {
                response.set_header("Allow", "GET, HEAD");
                textResponse(response, 405, "method not allowed");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server_.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty() && response.status == 404)
            textResponse(response, 404, "not found");
    });
    server_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_content(livePage(robot_.state()->pageSceneJson(), options_.threeFolder),
                             "text/html; charset=utf-8");
    });
    server_.Get("/scene.json", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_content(robot_.state()->plainSceneJson(), "application/json");
    });
    server_.Get(R"(/meshes/(\d{1,9}))",
                [this](const httplib::Request& request, httplib::Response& response) {
                    const auto state = robot_.state();
                    const std::size_t index = std::stoul(request.matches[1].str());
                    if (index >= state->meshes.size() || !state->meshes[index]) {
                        textResponse(response, 404, "no such mesh");
                        return;
                    }
                    response.set_header("Cache-Control", "no-store");
                    response.set_content(*state->meshes[index], "application/octet-stream");
                });
    server_.Get("/events", [this](const httplib::Request& request, httplib::Response& response) {
        streamEvents(request, response);
    });
}

// A page that missed runs (it was loaded at revision `since`) gets the present state at once.
void LiveServer::streamEvents(const httplib::Request& request, httplib::Response& response) {
    const auto state = robot_.state();
    const std::string since = request.get_param_value("since");
    const bool behind = since != std::to_string(state->revision);
    auto stream = streams_.open(behind ? state->event() : std::string(": open\n\n"));
    if (!stream) {
        textResponse(response, 503, "too many event streams open");
        return;
    }
    response.set_header("Cache-Control", "no-cache");
    EventStreams* streams = &streams_;
    response.set_chunked_content_provider(
        "text/event-stream",
        [streams, stream](std::size_t, httplib::DataSink& sink) {
            const auto text = streams->next(stream, streamIdle);
            if (!text) {
                sink.done();
                return true;
            }
            return sink.write(text->data(), text->size());
        },
        [streams, stream](bool) { streams->release(stream); });
}

}  // namespace

bool isLoopback(const std::string& address) {
    if (address == "localhost" || address == "::1") return true;
    in_addr v4{};
    return inet_pton(AF_INET, address.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

bool hostAllowed(const std::string& host, const std::string& bind, int port) {
    const auto [name, portText] = splitHost(host);
    if (portText != std::to_string(port)) return false;
    if (name == "localhost" || name == bind) return true;
    return isWildcard(bind) && isIpAddress(name);
}

ExitStatus serveRobot(const ServeOptions& options) {
    const sigset_t endingSignals = blockEndingSignals();
    try {
        LiveServer server(options);
        if (!server.start() || !server.listen()) return ExitStatus::UsageOrIo;
        server.run(endingSignals);
        return ExitStatus::Success;
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "error: cannot watch the robot's files: %s\n", error.what());
        return ExitStatus::UsageOrIo;
    }
}

}  // namespace corvane::tools
