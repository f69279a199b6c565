#pragma once

#include "remote/scpi_parser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

struct SetpointQuantity;

// What a script can see and do to the supply. Operations that can be refused
// return why, empty when they were done.
class ScpiInstrument {
public:
    virtual ~ScpiInstrument() = default;
    // A setpoint in the frame's units (10 mV, 1 mA), already within its limits.
    virtual QString setSetpoint(const SetpointQuantity& quantity, qint16 setpoint) = 0;
    // The setpoint in force, the row's during a run.
    virtual qint16 setpoint(const SetpointQuantity& quantity) const = 0;
    // The latest reading in the frame's units; none while the supply does not
    // answer.
    virtual std::optional<qint16> measured(const SetpointQuantity& quantity) const = 0;
    // Off also ends a run: a script that switches off means off.
    virtual QString setOutput(bool on) = 0;
    virtual bool output() const = 0;
    virtual void setTripMode(bool shutDown) = 0;
    virtual bool tripMode() const = 0;
    virtual bool tripped() const = 0;
    virtual void clearTrip() = 0;
    // Passes of a run, 1..100; 0 runs until stopped.
    virtual void setRunCount(qint16 passes) = 0;
    virtual qint16 runCount() const = 0;
    virtual QString setRunning(bool run) = 0;
    virtual bool running() const = 0;
};

// One client's conversation: its bytes in, lines out, its own error queue.
class ScpiSession {
public:
    // The longest line taken; a longer one is an input buffer overrun.
    static constexpr qsizetype kLineLimit = 4096;
    static constexpr qsizetype kQueueLength = 16;

    ScpiSession(ScpiInstrument& instrument, QByteArray identity)
        : instrument_(instrument), identity_(std::move(identity)) {}

    // Takes what arrived and returns the replies of the lines it completed,
    // each ending in LF; lines end in LF or CR LF.
    QByteArray receive(QByteArrayView bytes);
    // Executes one line without its terminator; its queries' answers joined by
    // ";" and ending in LF, or nothing when it held no query.
    QByteArray executeLine(QByteArrayView line);

    qsizetype queuedErrors() const { return errors_.size(); }

private:
    // The answer of a query, or nothing for a command.
    std::optional<QByteArray> execute(const ScpiUnit& unit);
    std::optional<QByteArray> setpointUnit(const ScpiUnit& unit, const SetpointQuantity& quantity);
    std::optional<QByteArray> measureUnit(const SetpointQuantity& quantity);
    std::optional<QByteArray> switchUnit(const ScpiUnit& unit, bool state,
                                         const std::function<QString(bool)>& set);
    std::optional<QByteArray> runCountUnit(const ScpiUnit& unit);
    std::optional<QByteArray> runStateUnit(const ScpiUnit& unit);
    // Whether a command has exactly one parameter; queues the error if not.
    bool oneParameter(const ScpiUnit& unit);
    void refuse(const QString& why);
    void push(int code, QByteArray detail = {});
    QByteArray popError();

    ScpiInstrument& instrument_;
    QByteArray identity_;
    QList<ScpiError> errors_;
    QByteArray partial_;
    bool discarding_ = false;
};
