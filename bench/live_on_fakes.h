#pragma once

// The window and its session on fakes, with the timers and the record
// worker's thread running as in the program, and a port that notes when each
// character went out: the sender's pauses as the supply would see them.
#include "fakes.h"
#include "waiting.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <utility>
#include <vector>

inline const QByteArray kOnReply = "VKPPSU1200A1200W";

// A port that notes when each character was written.
class TimedPort : public FakeSerialPort {
public:
    QElapsedTimer clock;
    std::vector<std::pair<qint64, char>> sent;

    TimedPort() { clock.start(); }
    bool write(char c) override {
        sent.emplace_back(clock.nsecsElapsed(), c);
        return FakeSerialPort::write(c);
    }
    // Nanoseconds from the moment to the last character of the first whole
    // frame sent after it; -1 when none was.
    qint64 wholeFrameAfter(qint64 from, const QByteArray& frame) const {
        QByteArray run;
        for (const auto& [at, c] : sent) {
            if (at < from) {
                continue;
            }
            run += c;
            if (run.endsWith(frame)) {
                return at - from;
            }
        }
        return -1;
    }
    // The longest pause between two characters within the span.
    qint64 longestPause(qint64 from, qint64 to) const {
        qint64 longest = 0;
        for (std::size_t i = 1; i < sent.size(); ++i) {
            if (sent[i].first >= from && sent[i - 1].first <= to) {
                longest = std::max(longest, sent[i].first - sent[i - 1].first);
            }
        }
        return longest;
    }
};

struct LiveOnFakes {
    QTemporaryDir dir;
    TimedPort port;
    FakeClock clock;
    FakeScreen screen;
    RecordingDialogs dialogs;
    RecordWorker records;
    Platform platform{&port, &clock, &screen, &dialogs, dir.path(), dir.path(), &records};
    SupplySession session;
    MainWindow window;

    explicit LiveOnFakes(DiskCalls disk)
        : records(RecordWorker::Mode::OwnThread, std::move(disk)), session(platform),
          window(session, platform) {
        session.start();
        port.usablePorts = {3};
        port.replyWhenIdle = kOnReply;
        window.show();
        waitFor([&] { return window.session().state.linkUp; }, 10000);
    }
};
