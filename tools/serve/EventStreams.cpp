#include "serve/EventStreams.hpp"

#include <algorithm>

namespace corvane::tools {

EventStreams::StreamHandle EventStreams::open(std::string first) {
    const std::lock_guard lock(mutex_);
    if (closed_ || streams_.size() >= limit_) return nullptr;
    auto stream = std::make_shared<Stream>();
    if (!first.empty()) stream->queued.push_back(std::move(first));
    streams_.push_back(stream);
    return stream;
}

void EventStreams::release(const StreamHandle& stream) {
    const std::lock_guard lock(mutex_);
    streams_.remove(stream);
}

void EventStreams::broadcast(const std::string& event) {
    {
        const std::lock_guard lock(mutex_);
        for (const auto& stream : streams_) stream->queued.push_back(event);
    }
    changed_.notify_all();
}

std::optional<std::string> EventStreams::next(const StreamHandle& stream,
                                              std::chrono::milliseconds idle) {
    std::unique_lock lock(mutex_);
    const bool woken =
        changed_.wait_for(lock, idle, [&] { return closed_ || !stream->queued.empty(); });
    if (closed_) return std::nullopt;
    if (!woken) return std::string(": idle\n\n");
    std::string event = std::move(stream->queued.front());
    stream->queued.pop_front();
    return event;
}

void EventStreams::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::size_t EventStreams::openCount() const {
    const std::lock_guard lock(mutex_);
    return streams_.size();
}

std::string serverSentEvent(const std::string& name, const std::string& data) {
    return "event: " + name + "\ndata: " + data + "\n\n";
}

}  // namespace corvane::tools
