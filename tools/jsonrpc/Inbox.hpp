// The messages a client sends, read from its stream on a thread of their own, so that the server
// learns of a cancellation or a newer change while it is busy with an older one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <istream>
#include <memory>
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

    // Starts reading `in`. A stream that ends (a string stream) must outlive the inbox; one that
    // may block for ever (standard input) must live as long as the program.
    explicit Inbox(std::istream& in);
    // Waits a moment for the reader to end with the stream; one still blocked in a read (the
    // client keeps standard input open after `exit`) is left to end with the program.
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
    // What the reader and the server share; the reader keeps it alive as long as it runs.
    struct Shared {
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<Incoming> queue;
        std::set<std::string> cancelledIds;
        bool ended = false;

        void push(Incoming incoming);
    };

    static void read(std::istream& in, const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
    std::thread reader_;
};

}  // namespace corvane::tools::jsonrpc
