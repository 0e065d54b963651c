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

Inbox::Inbox(std::istream& in)
    : shared_(std::make_shared<Shared>()), reader_(read, std::ref(in), shared_) {}

Inbox::~Inbox() {
    std::unique_lock lock(shared_->mutex);
    const bool ended = shared_->arrived.wait_for(lock, std::chrono::milliseconds(200),
                                                 [this] { return shared_->ended; });
    lock.unlock();
    if (ended) {
        reader_.join();
    } else {
        reader_.detach();
    }
}

void Inbox::read(std::istream& in, const std::shared_ptr<Shared>& shared) {
    while (true) {
        Incoming incoming = incomingOf(readFrame(in));
        const bool end = incoming.kind == Incoming::Kind::End;
        shared->push(std::move(incoming));
        if (end) return;
    }
}

void Inbox::Shared::push(Incoming incoming) {
    {
        const std::lock_guard lock(mutex);
        if (incoming.kind == Incoming::Kind::Message) {
            const std::string id = cancelledIdOf(incoming.message);
            if (!id.empty()) cancelledIds.insert(id);
        }
        if (incoming.kind == Incoming::Kind::End) ended = true;
        queue.push_back(std::move(incoming));
    }
    arrived.notify_all();
}

std::optional<Incoming> Inbox::pop(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(shared_->mutex);
    const auto ready = [this] { return !shared_->queue.empty(); };
    if (deadline) {
        if (!shared_->arrived.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
        shared_->arrived.wait(lock, ready);
    }
    // The end stays for every later pop.
    if (shared_->queue.front().kind == Incoming::Kind::End) return shared_->queue.front();
    Incoming incoming = std::move(shared_->queue.front());
    shared_->queue.pop_front();
    return incoming;
}

bool Inbox::holds(const std::function<bool(const Json& message)>& test) const {
    const std::lock_guard lock(shared_->mutex);
    for (const auto& incoming : shared_->queue) {
        if (incoming.kind == Incoming::Kind::Message && test(incoming.message)) return true;
    }
    return false;
}

bool Inbox::cancelled(const Json& id) const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->cancelledIds.count(id.dump()) > 0;
}

void Inbox::forget(const Json& id) {
    const std::lock_guard lock(shared_->mutex);
    shared_->cancelledIds.erase(id.dump());
}

}  // namespace corvane::tools::jsonrpc
