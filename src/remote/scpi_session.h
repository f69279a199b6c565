#pragma once

#include "record/log_end.h"
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
    // The sender's frames: how many began, and the number of the latest one
    // that went out whole; the frames begun after a change carry it.
    virtual quint64 framesBegun() const = 0;
    virtual quint64 lastWholeFrame() const = 0;
    // Whether frames go out at all: a port is open.
    virtual bool sending() const = 0;
    // Replies taken from the supply since the start.
    virtual quint64 repliesTaken() const = 0;
    // The session's clock, in milliseconds.
    virtual qint64 nowMs() const = 0;
    // Passes of a run, 1..100; 0 runs until stopped.
    virtual void setRunCount(int passes) = 0;
    virtual int runCount() const = 0;
    virtual QString setRunning(bool run) = 0;
    virtual bool running() const = 0;
    // The run's step and pass in force, from 1; zeros when no run is going.
    virtual RunPosition runPosition() const = 0;
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
    // A unit waits for the supply (*OPC?, MEAS?, a switch-on while the
    // supply is being found); the lines after it wait in order.
    bool waiting() const { return wait_.has_value(); }
    // Ends the wait when what it waits for came or its time is up, and runs
    // the lines behind it; their replies, as receive() gives them.
    QByteArray resume();

    // The client is a web page or a browser, not a script: its connection
    // goes, and no line of it ran after the request showed. A first byte
    // that no script sends (a TLS handshake, binary) counts as one too.
    bool isWebRequest() const { return webRequest_; }
    // Lines that ran at least one command or query: what shows that a
    // script is alive. Blank lines, lines refused whole, unfinished and
    // overlong lines are not counted.
    quint64 linesRun() const { return linesRun_; }
    qsizetype queuedErrors() const { return errors_.size(); }

    // How long a unit waits for the supply at most.
    static constexpr qint64 kLongestWaitMs = 3000;
    // A reply read this soon after a frame went out may have been sent
    // before the supply took the frame.
    static constexpr qint64 kReplyAfterFrameMs = 200;

private:
    // What a unit waits for before it completes.
    struct Wait {
        enum class For {
            WholeFrame,    // *OPC, *OPC?, *WAI
            Reading,       // MEAS?: a frame, then a reply read after it
            FreshReading,  // FETC? while no reading is fresh
            SupplyAnswers, // OUTP ON and PROG:STAT RUN while the supply is found
        };
        For what;
        ScpiUnit unit;
        const SetpointQuantity* quantity = nullptr;
        quint64 frameMark = 0;
        quint64 replyMark = 0;
        qint64 frameOutMs = -1;
        qint64 deadlineMs = 0;
    };
    // Runs the line gathered so far, unless it was too long or a web
    // client's, and starts the next.
    QByteArray endLine();
    // Starts a line's units; its replies once it completes.
    QByteArray runLine(QByteArray line);
    QByteArray continueLine();
    void waitFor(Wait::For what, const ScpiUnit& unit, const SetpointQuantity* quantity = nullptr);
    struct WaitEnd {
        bool ended = false;
        // The unit's answer; none for a command.
        std::optional<QByteArray> answer;
    };
    WaitEnd endOfWait();
    bool frameOutSince(quint64 frameMark) const;
    // The latest live reading; none while no reading is fresh.
    std::optional<QByteArray> readingText(const SetpointQuantity& quantity) const;
    QByteArray noReading();
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
    std::optional<QByteArray> fetchUnit(const ScpiUnit& unit, const SetpointQuantity& quantity);
    std::optional<QByteArray> switchUnit(const ScpiUnit& unit, bool state,
                                         const std::function<QString(bool)>& set);
    std::optional<QByteArray> registerUnit(const ScpiUnit& unit, quint8& mask);
    std::optional<QByteArray> watchdogDelayUnit(const ScpiUnit& unit);
    std::optional<QByteArray> runCountUnit(const ScpiUnit& unit);
    std::optional<QByteArray> runStateUnit(const ScpiUnit& unit);
    // A whole number from a parameter within the range (MIN and MAX taken),
    // or none with the error queued.
    std::optional<int> wholeNumber(const ScpiParameter& value, int least, int most);
    bool mustWaitForSupply(const ScpiUnit& unit) const;
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
    // The line under way, its parser and the answers so far; the lines
    // that wait behind it.
    QByteArray line_;
    std::optional<ScpiLineParser> parser_;
    QList<QByteArray> answers_;
    bool lineRanUnit_ = false;
    QList<QByteArray> linesWaiting_;
    std::optional<Wait> wait_;
    // A switch-on runs again once its wait for the supply ended, and is
    // refused then rather than wait again.
    bool supplyWaitOver_ = false;
    bool webRequest_ = false;
    quint8 eventStatus_ = 0;
    quint8 eventStatusEnable_ = 0;
    quint8 serviceRequestEnable_ = 0;
    // UP and DOWN move a setpoint by these, in the frame's units.
    int voltageStepCentivolts_ = kDefaultVoltageStepCentivolts;
    int currentStepMilliamps_ = kDefaultCurrentStepMilliamps;
};
