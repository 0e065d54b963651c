// The open event streams of the live page: each event is queued for every stream, which sends it
// in order; their number is bounded, and closing ends them all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace corvane::tools {

class EventStreams {
  public:
    struct Stream;
    using StreamHandle = std::shared_ptr<Stream>;

    explicit EventStreams(std::size_t limit) : limit_(limit) {}

    // A new stream with `first` queued (empty: nothing), or null when `limit` streams are open
    // or the streams are closed.
    StreamHandle open(std::string first = {});
    // The stream is gone (its connection ended).
    void release(const StreamHandle& stream);
    // Queues `event` (a whole "event: ...\ndata: ...\n\n" text) for every open stream.
    void broadcast(const std::string& event);
    // The next text for `stream`: an event, or after `idle` without one an SSE comment that keeps
    // the connection alive; nothing once the streams are closed.
    std::optional<std::string> next(const StreamHandle& stream, std::chrono::milliseconds idle);
    // Ends every stream and refuses new ones.
    void close();
    std::size_t openCount() const;

  private:
    std::size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::list<StreamHandle> streams_;
    bool closed_ = false;
};

struct EventStreams::Stream {
    std::deque<std::string> queued;
};

// One Server-Sent Event: "event: NAME\ndata: DATA\n\n"; DATA holds no line break.
std::string serverSentEvent(const std::string& name, const std::string& data);

}  // namespace corvane::tools
