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
    QString setSetpoint(const SetpointQuantity& quantity, qint16 value) override {
        require(value >= 0 && value <= quantity.frameLimit);
        (quantity.unit == kVoltageQuantity.unit ? volts_ : amperes_) = value;
        return {};
    }
    qint16 setpoint(const SetpointQuantity& quantity) const override {
        return quantity.unit == kVoltageQuantity.unit ? volts_ : amperes_;
    }
    std::optional<qint16> measured(const SetpointQuantity& quantity) const override {
        if (!on_)
            return std::nullopt;
        return setpoint(quantity);
    }
    QString setOutput(bool on) override {
        if (on && (++switchOns_ % 2) == 0)
            return QStringLiteral("refused \"twice\"\n");
        on_ = on;
        return {};
    }
    bool output() const override { return on_; }
    void setTripMode(bool shutDown) override { shutDown_ = shutDown; }
    bool tripMode() const override { return shutDown_; }
    bool tripped() const override { return false; }
    void clearTrip() override {}
    void setRunCount(qint16 passes) override {
        require(passes >= 0 && passes <= 100);
        passes_ = passes;
    }
    qint16 runCount() const override { return passes_; }
    QString setRunning(bool run) override {
        running_ = run;
        return {};
    }
    bool running() const override { return running_; }

private:
    qint16 volts_ = 0;
    qint16 amperes_ = 0;
    bool on_ = false;
    bool shutDown_ = false;
    qint16 passes_ = 0;
    bool running_ = false;
    int switchOns_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KeepingInstrument instrument;
    ScpiSession session(instrument, "Velkor,VK-7100,0,1.0");
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Each input arrives in two pieces, split where its first byte says.
    const qsizetype split = size == 0 ? 0 : qsizetype(data[0]) % qsizetype(size);
    // A last line without its end is ended, so the error query starts a line.
    const QByteArray replies = session.receive(input.first(split)) +
                               session.receive(input.sliced(split)) + session.receive("\n");
    require(replies.isEmpty() || replies.endsWith('\n'));
    // No reply is longer than what a full line of queries can ask for.
    for (const QByteArray& line : replies.split('\n'))
        require(line.size() <= 64 * ScpiSession::kLineLimit);
    require(session.queuedErrors() <= ScpiSession::kQueueLength);
    const QByteArray error = session.receive("SYST:ERR?\n");
    require(error.endsWith('\n') && error.count('\n') == 1);
    return 0;
}
