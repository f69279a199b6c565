#include "command_frame.h"
#include "frame_log.h"
#include "options.h"
#include "pseudo_terminal.h"
#include "reply_block.h"
#include "supply_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <deque>
#include <iostream>
#include <optional>
#include <poll.h>
#include <system_error>
#include <unistd.h>

using namespace supplysim;

namespace {

constexpr std::int64_t kReplyIntervalMs = 100;
// Replies go out only while the program is talking to us. While the program has the port closed
// nobody reads the pseudo-terminal, unread replies pile up in the kernel until it is full, and a
// program opening the port later would read a backlog seconds old and nothing newer. So once the
// line has been quiet this long we stop answering and discard what is still unread; the first
// byte from the program starts the replies again. The program sends a character every 5 ms
// whenever its port is open, so only a closed port is quiet for this long.
constexpr std::int64_t kQuietAfterMs = 1000;
constexpr std::int64_t kByteCountIntervalMs = 1000;
constexpr std::int64_t kWriteRetryMs = 10;

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

class Simulator {
public:
    Simulator(const Options& options, PseudoTerminal& pty, FrameLog* log)
        : options_(options), pty_(pty), log_(log), model_(options.loadOhms),
          shaper_(options.faults, options.seed) {}

    // Serves the line until a stop signal (false) or the hang-up time (true).
    bool run(const sigset_t& waitMask);
    // Final byte count in the log and a summary for whoever started us.
    void finish();

private:
    void receive(std::int64_t now);
    void answer(std::int64_t now);
    bool silentAt(std::int64_t now) const {
        const auto& silence = options_.silentBetweenSeconds;
        const double seconds = double(now - startMs_) / 1000.0;
        return silence && seconds >= silence->first && seconds < silence->second;
    }
    void writeDue(std::int64_t now);

    struct PendingWrite {
        std::string bytes;
        std::int64_t dueMs;
    };

    const Options& options_;
    PseudoTerminal& pty_;
    FrameLog* log_;
    SupplyModel model_;
    ReplyShaper shaper_;
    FrameScanner scanner_;
    std::deque<PendingWrite> pending_;
    std::optional<std::int64_t> lastByteMs_;
    bool answering_ = false;
    std::int64_t startMs_ = 0;
    std::int64_t nextReplyMs_ = 0;
    std::int64_t nextByteCountMs_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t malformed_ = 0;
};

bool Simulator::run(const sigset_t& waitMask) {
    const std::int64_t start = monotonicMs();
    std::optional<std::int64_t> hangUpMs;
    if (options_.hangupAfterSeconds) {
        hangUpMs = start + std::llround(*options_.hangupAfterSeconds * 1000.0);
    }
    startMs_ = start;
    nextReplyMs_ = start;
    nextByteCountMs_ = start;
    while (stopRequested == 0) {
        const std::int64_t now = monotonicMs();
        if (hangUpMs && now >= *hangUpMs) {
            return true;
        }
        if (log_ != nullptr && now >= nextByteCountMs_) {
            log_->byteCount(now, bytes_);
            nextByteCountMs_ = now + kByteCountIntervalMs;
        }
        answer(now);
        writeDue(now);

        std::int64_t wakeMs = nextReplyMs_;
        if (!pending_.empty()) {
            wakeMs = std::min(wakeMs, pending_.front().dueMs);
        }
        if (log_ != nullptr) {
            wakeMs = std::min(wakeMs, nextByteCountMs_);
        }
        if (hangUpMs) {
            wakeMs = std::min(wakeMs, *hangUpMs);
        }
        const std::int64_t waitMs = std::clamp<std::int64_t>(wakeMs - now, 0, kReplyIntervalMs);
        const timespec timeout{static_cast<time_t>(waitMs / 1000),
                               static_cast<long>(waitMs % 1000 * 1000000)};
        pollfd line{pty_.master(), POLLIN, 0};
        const int ready = ::ppoll(&line, 1, &timeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "ppoll");
        }
        if ((line.revents & POLLIN) != 0) {
            receive(monotonicMs());
        } else if ((line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            throw std::runtime_error("the pseudo-terminal broke");
        }
    }
    return false;
}

void Simulator::receive(std::int64_t now) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(pty_.master(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (count <= 0) {
            throw std::system_error(errno, std::generic_category(), "reading the pseudo-terminal");
        }
        bytes_ += static_cast<std::uint64_t>(count);
        lastByteMs_ = now;
        for (const ReceivedFrame& frame :
             scanner_.feed(std::string_view(buffer, static_cast<std::size_t>(count)))) {
            if (!frame.command) {
                ++malformed_;
                continue;
            }
            ++frames_;
            model_.apply(*frame.command);
            if (log_ != nullptr) {
                log_->frame(now, frame.text);
            }
        }
    }
}

void Simulator::answer(std::int64_t now) {
    const bool talking = lastByteMs_ && now - *lastByteMs_ < kQuietAfterMs;
    if (!talking) {
        if (answering_) {
            pty_.discardUnread();
            pending_.clear();
            answering_ = false;
        }
        nextReplyMs_ = now + kReplyIntervalMs;
        return;
    }
    answering_ = true;
    if (now < nextReplyMs_) {
        return;
    }
    nextReplyMs_ += kReplyIntervalMs;
    if (nextReplyMs_ <= now) {
        nextReplyMs_ = now + kReplyIntervalMs;
    }
    // A line still busy with the previous block drops this one instead of queueing it, so what
    // the program reads is never older than the line is slow.
    if (options_.silent || silentAt(now) || !pending_.empty()) {
        return;
    }
    std::int64_t dueMs = now;
    for (ReplyChunk& chunk : shaper_.shape(formatReply(model_.reading()))) {
        dueMs += chunk.delayMs;
        pending_.push_back({std::move(chunk.bytes), dueMs});
    }
}

void Simulator::writeDue(std::int64_t now) {
    while (!pending_.empty() && pending_.front().dueMs <= now) {
        PendingWrite& front = pending_.front();
        const ssize_t written = ::write(pty_.master(), front.bytes.data(), front.bytes.size());
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "writing the pseudo-terminal");
        }
        if (written == static_cast<ssize_t>(front.bytes.size())) {
            pending_.pop_front();
            continue;
        }
        // The rest of a started block goes out before anything else: the program cuts the
        // stream into 16-character pieces from the first tag, and a lost tail would put every
        // later block out of step.
        if (written > 0) {
            front.bytes.erase(0, static_cast<std::size_t>(written));
        }
        front.dueMs = now + kWriteRetryMs;
        return;
    }
}

void Simulator::finish() {
    if (log_ != nullptr) {
        log_->byteCount(monotonicMs(), bytes_);
    }
    std::cout << "velkor-supply-sim: received " << bytes_ << " bytes, " << frames_ << " frames, "
              << malformed_ << " malformed" << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "velkor-supply-sim: " << parsed.error << " (see --help)\n";
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::cout << usage();
        return 0;
    }

    // The stop signals stay blocked except inside ppoll, so one that arrives between the loop's
    // check and the wait still ends the wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signal);
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigaction(signal, &action, nullptr);
    }
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);

    try {
        PseudoTerminal pty;
        PortLink link(options.dir, options.port, pty.device());
        std::optional<FrameLog> log;
        if (!options.frameLog.empty()) {
            log.emplace(options.frameLog);
        }
        std::cout << "velkor-supply-sim: port " << options.port << " -> " << pty.device()
                  << " (link " << link.path().string() << ")" << std::endl;

        Simulator simulator(options, pty, log ? &*log : nullptr);
        const bool hungUp = simulator.run(waitMask);
        if (hungUp) {
            pty.hangUp();
            std::cout << "velkor-supply-sim: hung up port " << options.port << std::endl;
        }
        link.remove();
        simulator.finish();
    } catch (const std::exception& error) {
        std::cerr << "velkor-supply-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
