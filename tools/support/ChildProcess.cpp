#include "support/ChildProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <sstream>
#include <system_error>

#include "support/Files.hpp"
#include "support/VisibleText.hpp"

extern char** environ;

namespace corvane::tools {

namespace {

[[noreturn]] void throwSystemError(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

struct Pipe {
    Descriptor readEnd;
    Descriptor writeEnd;
};

// Both ends close on exec; the child receives its copies through dup2, which clears that flag.
Pipe makePipe() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) throwSystemError(errno, "pipe");
    return Pipe{Descriptor(ends[0]), Descriptor(ends[1])};
}

// While a pipe to the child is written, a child that has gone away must not end this process
// with SIGPIPE: the signal is blocked on this thread, and one raised by the writes is taken
// back afterwards, so that the process's signal handling is left as it was.
class SigpipeBlocked {
  public:
    SigpipeBlocked() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &previousMask_);
    }
    ~SigpipeBlocked() {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            const timespec noWait{0, 0};
            while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

    // The mask the child starts with: the one this thread had before.
    const sigset_t& previousMask() const { return previousMask_; }

  private:
    sigset_t previousMask_{};
    bool wasPending_ = false;
};

// File actions and attributes of posix_spawn, released in any case.
class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    void connect(int parentEnd, int childDescriptor) {
        posix_spawn_file_actions_adddup2(&actions_, parentEnd, childDescriptor);
    }
    // The child starts with `mask` and with SIGPIPE at its default action; with
    // `ownProcessGroup`, it leads a new process group.
    void signals(const sigset_t& mask, bool ownProcessGroup) {
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigmask(&attributes_, &mask);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (ownProcessGroup) {
            posix_spawnattr_setpgroup(&attributes_, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        posix_spawnattr_setflags(&attributes_, flags);
    }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

pid_t startProgram(const std::vector<std::string>& arguments, SpawnSetup& setup) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error =
        posix_spawnp(&child, argv[0], setup.actions(), setup.attributes(), argv.data(), environ);
    if (error != 0) throwSystemError(error, "posix_spawnp");
    return child;
}

// Reads what is there; closes the descriptor at the end of the stream.
void readAvailable(Descriptor& source, std::string& into) {
    std::array<char, 64 * 1024> buffer{};
    const ssize_t count = ::read(source.get(), buffer.data(), buffer.size());
    if (count > 0) {
        into.append(buffer.data(), static_cast<std::size_t>(count));
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
        source.close();
    }
}

// Writes what the pipe takes; closes it once everything is written or the child stopped reading.
void writeAvailable(Descriptor& sink, std::string_view& remaining) {
    const ssize_t count = ::write(sink.get(), remaining.data(), remaining.size());
    if (count >= 0) {
        remaining.remove_prefix(static_cast<std::size_t>(count));
    } else if (errno != EINTR && errno != EAGAIN) {
        remaining = {};  // EPIPE: the child does not want the rest
    }
    if (remaining.empty()) sink.close();
}

using Clock = std::chrono::steady_clock;

// When a run must be over; none for a run without a time limit.
struct Deadline {
    bool set = false;
    Clock::time_point at{};

    bool passed() const { return set && Clock::now() >= at; }
};

// Milliseconds left until `deadline` for poll(): -1 (no limit) without one.
int pollTimeout(const Deadline& deadline) {
    if (!deadline.set) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline.at - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// Feeds the child and collects what it writes until it has closed both of its outputs, or until
// `deadline`; false when the deadline came first.
bool exchange(Descriptor& toChild, Descriptor& fromChild, Descriptor& errorsOfChild,
              std::string_view input, ProgramRun& run, const Deadline& deadline) {
    if (input.empty()) toChild.close();
    while (toChild.isOpen() || fromChild.isOpen() || errorsOfChild.isOpen()) {
        std::array<pollfd, 3> watched{{{toChild.get(), POLLOUT, 0},
                                       {fromChild.get(), POLLIN, 0},
                                       {errorsOfChild.get(), POLLIN, 0}}};
        if (deadline.passed()) return false;
        if (::poll(watched.data(), watched.size(), pollTimeout(deadline)) < 0) {
            if (errno == EINTR) continue;
            throwSystemError(errno, "poll");
        }
        if (watched[0].revents != 0) writeAvailable(toChild, input);
        if (watched[1].revents != 0) readAvailable(fromChild, run.output);
        if (watched[2].revents != 0) readAvailable(errorsOfChild, run.errors);
    }
    return true;
}

void waitFor(pid_t child, ProgramRun& run) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throwSystemError(errno, "waitpid");
    }
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
}

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& arguments, std::string_view input,
                      std::optional<std::chrono::milliseconds> timeout) {
    if (arguments.empty()) throwSystemError(EINVAL, "runProgram");
    Pipe toChild = makePipe();
    Pipe fromChild = makePipe();
    Pipe errorsOfChild = makePipe();
    if (::fcntl(toChild.writeEnd.get(), F_SETFL, O_NONBLOCK) != 0) throwSystemError(errno, "fcntl");

    const SigpipeBlocked sigpipeBlocked;
    SpawnSetup setup;
    setup.connect(toChild.readEnd.get(), STDIN_FILENO);
    setup.connect(fromChild.writeEnd.get(), STDOUT_FILENO);
    setup.connect(errorsOfChild.writeEnd.get(), STDERR_FILENO);
    setup.signals(sigpipeBlocked.previousMask(), timeout.has_value());
    const Deadline deadline = timeout ? Deadline{true, Clock::now() + *timeout} : Deadline{};
    const pid_t child = startProgram(arguments, setup);
    // The whole group of a timed program goes once it is done with, whatever its helpers do.
    const auto endGroup = [&] {
        if (timeout) ::kill(-child, SIGKILL);
    };
    toChild.readEnd.close();
    fromChild.writeEnd.close();
    errorsOfChild.writeEnd.close();

    ProgramRun run;
    try {
        run.timedOut = !exchange(toChild.writeEnd, fromChild.readEnd, errorsOfChild.readEnd, input,
                                 run, deadline);
    } catch (...) {
        toChild.writeEnd.close();
        fromChild.readEnd.close();
        errorsOfChild.readEnd.close();
        endGroup();
        waitFor(child, run);
        throw;
    }
    if (run.timedOut) endGroup();
    waitFor(child, run);
    endGroup();
    return run;
}

std::vector<std::string> errorLines(const std::string& errors) {
    std::vector<std::string> lines;
    std::istringstream in(errors);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(visibleText(line));
    }
    return lines;
}

std::string failureCause(const ProgramRun& run, const std::string& program, ErrorLine shown) {
    std::string cause =
        run.signal != 0 ? program + " was ended by signal " + std::to_string(run.signal)
                        : program + " failed with exit status " + std::to_string(run.exitStatus);
    const auto lines = errorLines(run.errors);
    if (!lines.empty()) cause += ": " + (shown == ErrorLine::First ? lines.front() : lines.back());
    return cause;
}

}  // namespace corvane::tools
