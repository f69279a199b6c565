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
    virtual QString setSetpoint(const SetpointQuantity& quantity, int frameUnits) = 0;
    // The setpoint in force in the frame's units, the row's during a run.
    virtual int setpoint(const SetpointQuantity& quantity) const = 0;
    // The latest reading in the frame's units; none while the supply does not
    // answer.
    virtual std::optional<int> measured(const SetpointQuantity& quantity) const = 0;
    virtual bool supplyAnswers() const = 0;
    // Off also ends a run: a script that switches off means off.
    virtual QString setOutput(bool on) = 0;
    virtual bool output() const = 0;
    virtual void setTripMode(bool shutDown) = 0;
    virtual bool tripMode() const = 0;
    // The over-current trip alone, and any protection that switched the
    // output off (over-current or the I/O watchdog). Clearing clears both.
    virtual bool overCurrentTripped() const = 0;
    virtual bool protectionTripped() const = 0;
    virtual void clearTrips() = 0;
    // The I/O watchdog: when on, a silence of every script for the delay
    // switches an output that is on off.
    virtual void setWatchdog(bool on) = 0;
    virtual bool watchdog() const = 0;
    virtual void setWatchdogDelay(int seconds) = 0;
    virtual int watchdogDelay() const = 0;
    // Passes of a run, 1..100; 0 runs until stopped.
    virtual void setRunCount(int passes) = 0;
    virtual int runCount() const = 0;
    virtual QString setRunning(bool run) = 0;
    virtual bool running() const = 0;
};

// One client's conversation: its bytes in, lines out, its own error queue
// and status registers.
class ScpiSession {
public:
    // The longest line taken; a longer one is an input buffer overrun.
    static constexpr qsizetype kLineLimit = 4096;
    static constexpr qsizetype kQueueLength = 16;
    static constexpr int kShortestWatchdogDelayS = 1;
    static constexpr int kLongestWatchdogDelayS = 3600;
    // What *RST leaves and DEF stands for.
    static constexpr int kResetCentivolts = 0;
    static constexpr int kResetMilliamps = 100;
    static constexpr int kDefaultVoltageStepCentivolts = 10;
    static constexpr int kDefaultCurrentStepMilliamps = 10;
    static constexpr int kResetRunCount = 1;

    // The standard event status register's bits.
    enum EventStatus : quint8 {
        OperationCompleteBit = 1,
        QueryErrorBit = 4,
        DeviceErrorBit = 8,
        ExecutionErrorBit = 16,
        CommandErrorBit = 32,
    };

    ScpiSession(ScpiInstrument& instrument, QByteArray identity)
        : instrument_(instrument), identity_(std::move(identity)) {}

    // Takes what arrived and returns the replies of the lines it completed,
    // each ending in LF; lines end in LF or CR LF. Nothing runs once a line
    // has shown that a web client is talking.
    QByteArray receive(QByteArrayView bytes);
    // The client sent all it will: a last line without its end runs too.
    QByteArray finish();
    // Executes one line without its terminator; its queries' answers joined by
    // ";" and ending in LF, or nothing when it held no query.
    QByteArray executeLine(QByteArrayView line);

    // The client is a web page or a browser, not a script: its connection
    // goes, and no line of it ran after the request showed. A first byte
    // that no script sends (a TLS handshake, binary) counts as one too.
    bool isWebRequest() const { return webRequest_; }
    // Lines that ran at least one command or query: what shows that a
    // script is alive. Blank lines, lines refused whole, unfinished and
    // overlong lines are not counted.
    quint64 linesRun() const { return linesRun_; }
    qsizetype queuedErrors() const { return errors_.size(); }

private:
    // Runs the line gathered so far, unless it was too long or a web
    // client's, and starts the next.
    QByteArray endLine();
    // The answer of a query, or nothing for a command.
    std::optional<QByteArray> execute(const ScpiUnit& unit);
    std::optional<QByteArray> commonUnit(const ScpiUnit& unit);
    std::optional<QByteArray> setpointUnit(const ScpiUnit& unit, const SetpointQuantity& quantity);
    std::optional<QByteArray> stepUnit(const ScpiUnit& unit, const SetpointQuantity& quantity);
    std::optional<QByteArray> applyUnit(const ScpiUnit& unit);
    void reset();
    // A setpoint's value in the frame's units, within its limits: a number
    // with its unit, MIN, MAX, DEF, and UP or DOWN by the step when
    // `stepsTaken`; none with the error queued.
    std::optional<int> setpointValue(const ScpiParameter& value, const SetpointQuantity& quantity,
                                     bool stepsTaken);
    int& stepOf(const SetpointQuantity& quantity);
    std::optional<QByteArray> measureUnit(const SetpointQuantity& quantity);
    std::optional<QByteArray> switchUnit(const ScpiUnit& unit, bool state,
                                         const std::function<QString(bool)>& set);
    std::optional<QByteArray> registerUnit(const ScpiUnit& unit, quint8& mask);
    std::optional<QByteArray> watchdogDelayUnit(const ScpiUnit& unit);
    std::optional<QByteArray> runCountUnit(const ScpiUnit& unit);
    std::optional<QByteArray> runStateUnit(const ScpiUnit& unit);
    // A whole number from a parameter within the range (MIN and MAX taken),
    // or none with the error queued.
    std::optional<int> wholeNumber(const ScpiParameter& value, int least, int most);
    // Whether a command has exactly one parameter; queues the error if not.
    bool oneParameter(const ScpiUnit& unit);
    void refuse(const QString& why);
    void push(int code, QByteArray detail = {});
    QByteArray popError();
    quint8 statusByte() const;

    ScpiInstrument& instrument_;
    QByteArray identity_;
    QList<ScpiError> errors_;
    QByteArray partial_;
    bool discarding_ = false;
    bool firstLine_ = true;
    bool anyByte_ = false;
    quint64 linesRun_ = 0;
    bool webRequest_ = false;
    quint8 eventStatus_ = 0;
    quint8 eventStatusEnable_ = 0;
    quint8 serviceRequestEnable_ = 0;
    // UP and DOWN move a setpoint by these, in the frame's units.
    int voltageStepCentivolts_ = kDefaultVoltageStepCentivolts;
    int currentStepMilliamps_ = kDefaultCurrentStepMilliamps;
};
