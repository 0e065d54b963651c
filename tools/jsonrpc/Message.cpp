#include "jsonrpc/Message.hpp"

namespace corvane::tools::jsonrpc {

namespace {

bool hasMethod(const Json& message) {
    return message.is_object() && message.contains("method") && message["method"].is_string();
}

// JSON-RPC ids are numbers or strings.
bool hasId(const Json& message) {
    const auto id = message.find("id");
    return id != message.end() && (id->is_number_integer() || id->is_string());
}

}  // namespace

bool isRequest(const Json& message) {
    return hasMethod(message) && hasId(message);
}

bool isNotification(const Json& message) {
    return hasMethod(message) && !message.contains("id");
}

Json resultResponse(const Json& id, Json result) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

Json errorResponse(const Json& id, ErrorCode code, const std::string& message) {
    return {{"jsonrpc", "2.0"},
            {"id", id},
            {"error", {{"code", static_cast<int>(code)}, {"message", message}}}};
}

Json notification(const std::string& method, Json params) {
    return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

}  // namespace corvane::tools::jsonrpc
