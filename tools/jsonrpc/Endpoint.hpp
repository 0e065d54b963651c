// The server's side of a JSON-RPC connection in the Language Server Protocol's lifecycle: nothing
// but `initialize` is answered before it (ServerNotInitialized), nothing but `exit` after
// `shutdown`; unknown requests get MethodNotFound, unknown notifications are ignored, a request
// cancelled before its turn gets RequestCancelled, a body that is no JSON gets ParseError.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "jsonrpc/Inbox.hpp"
#include "jsonrpc/Message.hpp"

namespace corvane::tools::jsonrpc {

class Endpoint {
  public:
    // Returns the result; throws ResponseError (or any exception: an internal error).
    using RequestHandler = std::function<Json(const Json& params)>;
    using NotificationHandler = std::function<void(const Json& params)>;
    // Work to do once no message has come for a while: when (nothing: no work), and the work.
    struct IdleWork {
        std::function<std::optional<Inbox::Clock::time_point>()> due;
        std::function<void()> run;
    };

    // Messages come from `inbox` and go to `out`; what the client cannot be told goes to `log`.
    Endpoint(Inbox& inbox, std::ostream& out, std::ostream& log);

    // "initialize" is a request like the others; the endpoint counts the server initialized once
    // its handler has answered. "shutdown" and "exit" are the endpoint's own.
    void onRequest(const std::string& method, RequestHandler handler);
    void onNotification(const std::string& method, NotificationHandler handler);
    void onIdle(IdleWork work);

    // Sends a message of the server's own (a notification).
    void send(const Json& message);
    const Inbox& inbox() const { return inbox_; }

    // Answers messages until `exit` or the end of the input. Returns the exit status: 0 when
    // `shutdown` came first, 1 otherwise.
    int run();

  private:
    enum class State { Starting, Running, ShuttingDown };

    void handle(const Incoming& incoming);
    void handleMessage(const Json& message);
    void handleRequest(const Json& request);
    void handleNotification(const Json& message);
    Json answer(const std::string& method, const Json& params);
    void log(const std::string& line);

    Inbox& inbox_;
    std::ostream& out_;
    std::ostream& log_;
    std::map<std::string, RequestHandler> requests_;
    std::map<std::string, NotificationHandler> notifications_;
    IdleWork idle_;
    State state_ = State::Starting;
    bool exited_ = false;
};

}  // namespace corvane::tools::jsonrpc
