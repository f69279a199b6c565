// Bytes from a client through a session: the framing into lines, the parser
// and the command table. Traps when a promise to the client is broken.

#include "remote/scpi_session.h"
#include "setting/setpoint_quantity.h"

#include <cstddef>
#include <cstdint>

namespace {

void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

// Holds what it is given and refuses every other switch-on, so both answers
// are explored.
class KeepingInstrument : public ScpiInstrument {
public:
    QString setSetpoint(const SetpointQuantity& quantity, int value) override {
        require(value >= 0 && value <= quantity.frameLimit);
        (quantity.unit == kVoltageQuantity.unit ? volts_ : amperes_) = value;
        return {};
    }
    int setpoint(const SetpointQuantity& quantity) const override {
        return quantity.unit == kVoltageQuantity.unit ? volts_ : amperes_;
    }
    std::optional<int> measured(const SetpointQuantity& quantity) const override {
        if (!on_)
            return std::nullopt;
        return setpoint(quantity);
    }
    bool supplyAnswers() const override { return on_; }
    QString setOutput(bool on) override {
        if (on && (++switchOns_ % 2) == 0)
            return QStringLiteral("refused \"twice\"\n");
        on_ = on;
        return {};
    }
    bool output() const override { return on_; }
    void setTripMode(bool shutDown) override { shutDown_ = shutDown; }
    bool tripMode() const override { return shutDown_; }
    bool overCurrentTripped() const override { return false; }
    bool protectionTripped() const override { return false; }
    void clearTrips() override {}
    void setWatchdog(bool on) override { watchdog_ = on; }
    bool watchdog() const override { return watchdog_; }
    void setWatchdogDelay(int seconds) override {
        require(seconds >= ScpiSession::kShortestWatchdogDelayS &&
                seconds <= ScpiSession::kLongestWatchdogDelayS);
        delay_ = seconds;
    }
    int watchdogDelay() const override { return delay_; }
    void setRunCount(int passes) override {
        require(passes >= 0 && passes <= 100);
        passes_ = passes;
    }
    int runCount() const override { return passes_; }
    QString setRunning(bool run) override {
        running_ = run;
        return {};
    }
    bool running() const override { return running_; }
    RunPosition runPosition() const override {
        return running_ ? RunPosition{1, 1} : RunPosition{};
    }
    // No frame goes out and no reply comes: every wait runs to its end, a
    // second each time the clock is read.
    quint64 framesBegun() const override { return 0; }
    quint64 lastWholeFrame() const override { return 0; }
    bool sending() const override { return true; }
    quint64 repliesTaken() const override { return 0; }
    qint64 nowMs() const override { return nowMs_ += 1000; }

private:
    int volts_ = 0;
    int amperes_ = 0;
    bool on_ = false;
    bool shutDown_ = false;
    int passes_ = 0;
    bool watchdog_ = false;
    int delay_ = 60;
    bool running_ = false;
    int switchOns_ = 0;
    mutable qint64 nowMs_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KeepingInstrument instrument;
    ScpiSession session(instrument, "Velkor,VK-7100,0,1.0");
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Each input arrives in two pieces, split where its first byte says.
    const qsizetype split = size == 0 ? 0 : qsizetype(data[0]) % qsizetype(size);
    // The client then finishes sending, so a last line without its end runs.
    const auto settled = [&session](QByteArray replies) {
        while (session.waiting()) {
            replies += session.resume();
        }
        return replies;
    };
    QByteArray replies = settled(session.receive(input.first(split)));
    replies += settled(session.receive(input.sliced(split)));
    replies += settled(session.finish());
    require(replies.isEmpty() || replies.endsWith('\n'));
    // A client reads 7-bit ASCII only.
    for (const char c : replies)
        require(static_cast<unsigned char>(c) < 0x80);
    // No reply is longer than what a full line of queries can ask for.
    for (const QByteArray& line : replies.split('\n'))
        require(line.size() <= 64 * ScpiSession::kLineLimit);
    require(session.queuedErrors() <= ScpiSession::kQueueLength);
    // Once a web client showed itself, nothing more runs.
    const QByteArray error = session.receive("SYST:ERR?\n");
    require(session.isWebRequest() ? error.isEmpty()
                                   : error.endsWith('\n') && error.count('\n') == 1);
    return 0;
}
