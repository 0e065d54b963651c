#include "jsonrpc/Inbox.hpp"

#include "jsonrpc/Framing.hpp"

namespace corvane::tools::jsonrpc {

namespace {

Incoming incomingOf(Frame frame) {
    switch (frame.kind) {
        case Frame::Kind::End:
            return {};
        case Frame::Kind::TooLarge:
            return {Incoming::Kind::TooLarge, {}, std::to_string(frame.length) + " bytes"};
        case Frame::Kind::BadHeader:
            return {Incoming::Kind::BadHeader, {}, std::move(frame.body)};
        case Frame::Kind::Message:
            break;
    }
    try {
        return {Incoming::Kind::Message, Json::parse(frame.body), {}};
    } catch (const Json::parse_error& error) {
        return {Incoming::Kind::NotJson, {}, error.what()};
    }
}

// The id of a $/cancelRequest, as the set of cancelled ids keeps it, or "".
std::string cancelledIdOf(const Json& message) {
    if (!isNotification(message) || message["method"] != "$/cancelRequest") return {};
    const auto params = message.find("params");
    if (params == message.end() || !params->is_object() || !params->contains("id")) return {};
    return (*params)["id"].dump();
}

}  // namespace

Inbox::Inbox(std::istream& in) : reader_([this, &in] { read(in); }) {}

Inbox::~Inbox() {
    reader_.join();
}

void Inbox::read(std::istream& in) {
    while (true) {
        Incoming incoming = incomingOf(readFrame(in));
        const bool end = incoming.kind == Incoming::Kind::End;
        push(std::move(incoming));
        if (end) return;
    }
}

void Inbox::push(Incoming incoming) {
    {
        const std::lock_guard lock(mutex_);
        if (incoming.kind == Incoming::Kind::Message) {
            const std::string id = cancelledIdOf(incoming.message);
            if (!id.empty()) cancelledIds_.insert(id);
        }
        queue_.push_back(std::move(incoming));
    }
    arrived_.notify_one();
}

std::optional<Incoming> Inbox::pop(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return !queue_.empty(); };
    if (deadline) {
        if (!arrived_.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
        arrived_.wait(lock, ready);
    }
    Incoming incoming = std::move(queue_.front());
    // The end stays for every later pop.
    if (incoming.kind != Incoming::Kind::End) queue_.pop_front();
    return incoming;
}

bool Inbox::holds(const std::function<bool(const Json& message)>& test) const {
    const std::lock_guard lock(mutex_);
    for (const auto& incoming : queue_) {
        if (incoming.kind == Incoming::Kind::Message && test(incoming.message)) return true;
    }
    return false;
}

bool Inbox::cancelled(const Json& id) const {
    const std::lock_guard lock(mutex_);
    return cancelledIds_.count(id.dump()) > 0;
}

void Inbox::forget(const Json& id) {
    const std::lock_guard lock(mutex_);
    cancelledIds_.erase(id.dump());
}

}  // namespace corvane::tools::jsonrpc
