// The messages of JSON-RPC 2.0: requests, notifications and responses, and the error codes the
// Language Server Protocol uses.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace corvane::tools::jsonrpc {

using Json = nlohmann::json;

enum class ErrorCode : int {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerNotInitialized = -32002,
    RequestCancelled = -32800,
};

// Thrown by a request's handler: the error response it answers with.
class ResponseError : public std::runtime_error {
  public:
    ResponseError(ErrorCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ErrorCode code() const { return code_; }

  private:
    ErrorCode code_;
};

// A request has a method and an id, a notification a method alone; anything else that is an
// object is a response (the server sends no requests, so it reads none).
bool isRequest(const Json& message);
bool isNotification(const Json& message);

Json resultResponse(const Json& id, Json result);
// `id` is null where the message could not be read far enough to know it.
Json errorResponse(const Json& id, ErrorCode code, const std::string& message);
Json notification(const std::string& method, Json params);

}  // namespace corvane::tools::jsonrpc
