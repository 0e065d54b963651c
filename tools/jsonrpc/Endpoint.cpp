#include "jsonrpc/Endpoint.hpp"

#include <exception>

#include "jsonrpc/Framing.hpp"

namespace corvane::tools::jsonrpc {

namespace {

Json paramsOf(const Json& message) {
    const auto params = message.find("params");
    return params == message.end() ? Json() : *params;
}

}  // namespace

Endpoint::Endpoint(Inbox& inbox, std::ostream& out, std::ostream& log)
    : inbox_(inbox), out_(out), log_(log) {}

void Endpoint::onRequest(const std::string& method, RequestHandler handler) {
    requests_[method] = std::move(handler);
}

void Endpoint::onNotification(const std::string& method, NotificationHandler handler) {
    notifications_[method] = std::move(handler);
}

void Endpoint::onIdle(IdleWork work) {
    idle_ = std::move(work);
}

void Endpoint::send(const Json& message) {
    writeFrame(out_, message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Endpoint::log(const std::string& line) {
    log_ << "corvane-urdf lsp: " << line << std::endl;
}

int Endpoint::run() {
    while (!exited_) {
        const auto due = idle_.due ? idle_.due() : std::nullopt;
        const auto incoming = inbox_.pop(due);
        if (!incoming) {
            idle_.run();
            continue;
        }
        if (incoming->kind == Incoming::Kind::End) break;
        handle(*incoming);
    }
    return state_ == State::ShuttingDown ? 0 : 1;
}

void Endpoint::handle(const Incoming& incoming) {
    switch (incoming.kind) {
        case Incoming::Kind::Message:
            handleMessage(incoming.message);
            return;
        case Incoming::Kind::NotJson:
            send(errorResponse(nullptr, ErrorCode::ParseError,
                               "the message is no JSON: " + incoming.detail));
            return;
        case Incoming::Kind::TooLarge:
            log("a message of " + incoming.detail + " is over the limit of 64 MiB; skipped");
            send(errorResponse(
                nullptr, ErrorCode::InvalidRequest,
                "a message of " + incoming.detail + " is over the limit of 64 MiB; skipped"));
            return;
        case Incoming::Kind::BadHeader:
            log("a header without a Content-Length; skipped: " + incoming.detail);
            return;
        case Incoming::Kind::End:
            return;
    }
}

void Endpoint::handleMessage(const Json& message) {
    if (isRequest(message)) {
        handleRequest(message);
    } else if (isNotification(message)) {
        handleNotification(message);
    } else if (message.is_object() && !message.contains("method") &&
               (message.contains("result") || message.contains("error"))) {
        // A response: the server sends no requests, so there is nothing waiting for it.
    } else {
        const Json id = message.is_object() && message.contains("id") ? message["id"] : Json();
        send(errorResponse(id.is_number_integer() || id.is_string() ? id : Json(),
                           ErrorCode::InvalidRequest,
                           "a message needs a method (and an id to be a request)"));
    }
}

void Endpoint::handleRequest(const Json& request) {
    const Json& id = request["id"];
    const std::string method = request["method"];
    if (inbox_.cancelled(id)) {
        inbox_.forget(id);
        send(errorResponse(id, ErrorCode::RequestCancelled, "'" + method + "' was cancelled"));
        return;
    }
    try {
        send(resultResponse(id, answer(method, paramsOf(request))));
    } catch (const ResponseError& error) {
        send(errorResponse(id, error.code(), error.what()));
    } catch (const std::exception& error) {
        log("'" + method + "' failed: " + error.what());
        send(errorResponse(id, ErrorCode::InternalError,
                           "'" + method + "' failed: " + error.what()));
    }
    inbox_.forget(id);
}

Json Endpoint::answer(const std::string& method, const Json& params) {
    if (state_ == State::ShuttingDown) {
        throw ResponseError(ErrorCode::InvalidRequest,
                            "the server is shutting down; only 'exit' is accepted");
    }
    if (method == "initialize") {
        if (state_ != State::Starting) {
            throw ResponseError(ErrorCode::InvalidRequest, "the server is already initialized");
        }
    } else if (state_ == State::Starting) {
        throw ResponseError(ErrorCode::ServerNotInitialized,
                            "'" + method + "' before 'initialize'");
    }
    if (method == "shutdown") {
        state_ = State::ShuttingDown;
        return nullptr;
    }
    const auto handler = requests_.find(method);
    if (handler == requests_.end()) {
        throw ResponseError(ErrorCode::MethodNotFound, "no method '" + method + "'");
    }
    Json result = handler->second(params);
    if (method == "initialize") state_ = State::Running;
    return result;
}

void Endpoint::handleNotification(const Json& message) {
    const std::string method = message["method"];
    if (method == "exit") {
        exited_ = true;
        return;
    }
    // Before `initialize` only `exit` counts; after `shutdown` nothing else does.
    if (state_ != State::Running) return;
    const auto handler = notifications_.find(method);
    if (handler == notifications_.end()) return;
    try {
        handler->second(paramsOf(message));
    } catch (const std::exception& error) {
        log("'" + method + "' failed: " + error.what());
    }
}

}  // namespace corvane::tools::jsonrpc
