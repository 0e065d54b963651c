// The messages a client sends, read from its stream on a thread of their own, so that the server
// learns of a cancellation or a newer change while it is busy with an older one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <istream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "jsonrpc/Message.hpp"

namespace corvane::tools::jsonrpc {

struct Incoming {
    enum class Kind {
        Message,    // `message` holds it
        NotJson,    // the body is no JSON; `detail` says why
        TooLarge,   // skipped; `detail` says how large it was
        BadHeader,  // `detail` holds the header
        End,        // the stream ended; nothing follows
    };
    Kind kind = Kind::End;
    Json message;
    std::string detail;
};

class Inbox {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts reading `in`, which must outlive the inbox.
    explicit Inbox(std::istream& in);
    // Waits for the reader, which ends with the stream.
    ~Inbox();
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // The next message, or nothing once `deadline` has passed without one (no deadline: waits).
    std::optional<Incoming> pop(std::optional<Clock::time_point> deadline);
    // Whether a message waiting to be popped satisfies `test`.
    bool holds(const std::function<bool(const Json& message)>& test) const;
    // Whether a $/cancelRequest for `id` has arrived.
    bool cancelled(const Json& id) const;
    // Forgets the cancellation of a request that has been answered.
    void forget(const Json& id);

  private:
    void read(std::istream& in);
    void push(Incoming incoming);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Incoming> queue_;
    std::set<std::string> cancelledIds_;
    std::thread reader_;
};

}  // namespace corvane::tools::jsonrpc
