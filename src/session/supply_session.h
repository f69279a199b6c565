#pragma once

#include "link/open_failure_notice.h"
#include "link/port_outcome.h"
#include "platform/platform.h"
#include "record/sample.h"
#include "session/io_watchdog.h"
#include "session/run_progress.h"
#include "session/session_state.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class QSqlTableModel;
class QTimer;
class RecordWorker;
struct RecordAnswer;
struct JournalRecovery;
struct SetpointQuantity;

// Why an operation was not done, said the way it reaches whoever asked: a
// box for the operator, a line for a script. A refusal that only says the
// supply does not answer goes to the status bar instead of a box.
struct Refusal {
    QString text;
    QString title;
    bool inStatusBar = false;
    // The operator has been told already (by the step grid).
    bool toldOperator = false;
    // The English alone, for a script, where the text holds none in the
    // Chinese window; empty when the text has its English on lines of
    // their own.
    QString english = {};
};
using Refused = std::optional<Refusal>;

// The life of the supply's output. Only an operation asked for by the
// operator or a script moves it out of Off.
enum class OutputState {
    Off,
    On,      // switched on by hand
    Running, // a sequence run drives the output
    Closing, // a close waits for its record; ON and run start are refused
    Closed,  // the port is released; nothing more goes to the supply
};

// What the program does with an output that is on when the supply is lost.
enum class LinkLossPolicy {
    SwitchOff, // the session stops, so a supply that answers again gets "N"
    Hold,      // the output stays on through the loss (burn-ins)
};

// The supply session: the one owner of what happens to the supply. It sends
// the command frame, reads and supervises the link, holds the setpoints in
// force, the output switch and the run, the readings and their freshness,
// and the measurement log with its records. Everything that wants something
// of the supply (the window's controls, SCPI, stop signals, the end of the
// display, the over-current trip, the run's end, the link supervision) calls
// one of its operations, which either does it or says why not.
//
// Guarantees:
// - Ending: whenever the program ends in a way it controls (a close, a stop
//   signal, a logout, the display going away), the last whole frame on the
//   line ends in "N" if any frame switching the output on went out since
//   the last whole "N" frame, whoever switched off before and however
//   shortly before.
// - On only on command: a frame switching the output on goes out only after
//   an accepted ON or run start since the last stop; never because a link
//   came back, a save was retried or the program started again.
// - No restart after a declared loss: when the link supervision declares the
//   supply lost while the output is on, the session stops (record saved up
//   to the loss, the loss noted), unless the settings say to hold the output.
// - Fresh readings: a reading is fresh when a reply was accepted in its
//   second's read or the one before; a stale one is never passed off as
//   live (the spreadsheet, SCPI and the readouts mark it).
class SupplySession : public QObject {
    Q_OBJECT
public:
    explicit SupplySession(const Platform& platform, QObject* parent = nullptr);
    ~SupplySession() override;

    SessionState state;

    // Opens the step table and recovers the journals of a program that died
    // once the event loop runs; the ticks are then the caller's to drive.
    void open();
    // Opens and starts the poll and send timers.
    void start();

    OutputState outputState() const { return output_; }
    bool outputOn() const { return output_ == OutputState::On || output_ == OutputState::Running; }
    bool running() const { return output_ == OutputState::Running; }
    bool closing() const {
        return output_ == OutputState::Closing || output_ == OutputState::Closed;
    }
    LinkLossPolicy linkLossPolicy() const { return linkLossPolicy_; }
    void setLinkLossPolicy(LinkLossPolicy policy) { linkLossPolicy_ = policy; }

    // Operations. Each returns why it was refused, nothing when done.
    Refused switchOutput(bool on);
    Refused switchRun(bool run);
    // A setpoint in the frame's units, taken at once with the checks of a
    // typed entry.
    Refused setSetpoint(const SetpointQuantity& quantity, int frameUnits);
    // The operator typed in an entry box: taken once it has rested for
    // three seconds.
    void editEntry(const SetpointQuantity& quantity, const QString& text);
    // The operator is done typing (Enter, or left the box): the entry is
    // taken now, with the checks of a rested one. A run's setpoints stay in
    // force; the entry waits for the run's end as a rested one does.
    Refused confirmEntry(const SetpointQuantity& quantity);
    // A value chosen from a step list or a slider.
    void chooseEntry(const SetpointQuantity& quantity, const QString& text);
    void setTripMode(bool shutDown);
    // Passes of a run, 1..100; 0 runs until stopped.
    void setRunCount(int passes);
    int runCount() const { return runCount_; }
    void setEnglish(bool english);
    // From an over-current trip until it is cleared or the output is
    // switched on again.
    bool overCurrentTripped() const { return overCurrentTripped_; }
    void clearOverCurrentTrip() { overCurrentTripped_ = false; }
    // The I/O watchdog scripts switch on; a trip stops the session as the
    // OFF button does and stays noted until cleared.
    const IoWatchdog& ioWatchdog() const { return ioWatchdog_; }
    void setIoWatchdog(bool on);
    void setIoWatchdogDelay(int seconds);
    void clearIoWatchdogTrip() { ioWatchdog_.clearTrip(); }
    // Any script sent something.
    void heardFromScript();
    // The sender's frames: how many began on an open port, and the number
    // of the latest that went out whole; and the replies taken so far. A
    // script's *OPC? and MEAS? wait on them.
    quint64 framesBegun() const { return framesBegun_; }
    quint64 lastWholeFrame() const { return lastWholeFrame_; }
    quint64 repliesTaken() const { return repliesTaken_; }
    bool sending() const;
    // The session's clock, in milliseconds.
    qint64 nowMs() const;
    // The setpoints and the output in force go into the frame now, so that
    // a script's change goes out with the next frame rather than after the
    // next poll tick; during a run, the row's.
    void composeFrameNow();
    // Every switch-off comes here: output and run end, the off frame goes
    // out from the next frame boundary on, the log gets a line that says
    // why it ended and is handed over to be saved as a record. Nothing here
    // waits for the disk. A switch-off during a run stops the run.
    void stop(LogEnd why = LogEnd::SwitchedOff);
    // Where the run stands; no run when none drives the output.
    RunProgress runProgress() const;

    enum class CloseAnswer {
        Closed, // the port is released
        Waits,  // a record is being saved; closeWaitOver() follows
        Refused // a log would be lost; the failure has been reported
    };
    // A close: a stop while the output is on, whole off frames to the supply
    // when it may still be on, the port released. A refused close hands the
    // output back to the operator, unless the process ends all the same.
    CloseAnswer requestClose();
    // What the next close's record says ended its log: a stop signal or a
    // logout asks for the close; otherwise the program was closed.
    void setCloseReason(LogEnd why) { closeReason_ = why; }
    // From a stop signal, or a logout that goes on, until the process ends:
    // a refused close keeps the session Closing, so ON and run start stay
    // refused in the moments the program has left.
    void holdClosingUntilExit() { closingHeld_ = true; }
    // The end of the process without its display: the stop, the off frames,
    // the port released, and the record saved with its spreadsheet. Its
    // picture is drawn by the next start, from the journal kept for it: at
    // exit the GUI may be torn down already. A record that cannot be saved
    // keeps its journal whole.
    void endWithoutDisplay();
    // The end a stop signal asks for once it has waited long enough: a
    // record not saved by now is waited for no longer, whatever the disk
    // does. The stop, the off frames, the port released; the log stays in
    // its journal for the next start, and a message says so; it is returned
    // too, empty when every record was saved.
    QString closeLeavingJournals();
    // The program ends at a stop signal once its port is released: what the
    // record worker still has on hand (the recovery of an old journal at
    // start, which the next start does again) is waited for this long at
    // most, then left to the disk. The teardown never waits for the worker.
    void letRecordWorkerGo(int waitMs);

    // Probes ports 1..16, marks those that open and returns how many did.
    int probePorts();
    // The port in use as the status bar shows it: its number and device
    // path, or that the program searches.
    QString portInUseText(bool english) const;

    // The poll tick, every 100 ms, and the send tick, every 5 ms.
    void pollTick();
    void sendTick();

    // The measurement log as it will be saved. Its text grows only through
    // appendLog, which the display tick calls once a second; benchmarks
    // give it a day of lines at once.
    QString logText() const { return QString::fromUtf8(log_); }
    void appendLog(const QString& text);
    const QByteArray& logUtf8() const { return log_; }

    QSqlTableModel* stepTableModel() const { return stepTableModel_; }
    bool stepTableReady() const { return stepTableReady_; }
    // Run before the step table is read for a run: the grid's open edits go
    // to the table first; false refuses the run.
    void setStepEditsCommitter(std::function<bool()> commit) {
        commitStepEdits_ = std::move(commit);
    }

    QString recordDir() const { return platform_.dataDir + QStringLiteral("/Record"); }

signals:
    // At the start of every poll tick.
    void ticked();
    // The output, the run, the link, the mode or the run count changed.
    void changed();
    // Once a second, after the readings and the log line.
    void displayed();
    void logReplaced(const QString& text);
    void logAppended(const QString& text);
    // The session put this text into an entry (a unit added, a refused text
    // taken back, a script's value).
    void entryTextChanged(QChar unit, const QString& text);
    // The setpoint in force, for the sliders.
    void setpointShown(QChar unit, int frameUnits);
    void diagnosticLine(const QString& line);
    // A word for the status bar, in both languages.
    void notice(const QString& text);
    // A supply answers on a port the search found, in both languages; the
    // status bar shows the port anyway, a program without a window says so.
    void supplyFound(const QString& text);
    // The cell that refused a run.
    void stepCellRefused(int row, int column);
    // A close that waited for its record may be asked for again.
    void closeWaitOver();

private:
    Refused refusalToSwitchOn(bool run) const;
    // Poll cycle
    void advanceDividers();
    void composeFrame();
    void readSection();
    void declareLossIfOverdue();
    void stopAtLoss();
    void sortRead(const QByteArray& read);
    void acceptReply(const QString& block);
    void reportTickFailure(bool quiet);
    // The port the sender writes to
    bool openPort(int portNumber);
    void closePort();
    QString openPath() const;
    int portNumberOf(const QString& path) const;
    bool mayDriveOpenPort() const;
    bool frameUnderWay() const;
    bool mayLetGoOfOpenPort() const;
    void sendOffFramesBeforeClosing();
    void sendWholeOffFrame(const QDateTime& deadline);
    void reopenSupervisedPort();
    void tellSupplyLost();
    void tellSupplyAnswers();
    QList<PortTried> portsTried() const;
    void releasePort();
    // Port search; true when the choice step tried to open a port.
    bool searchPort();
    void noteWhyPortIsClosed(const OpenFailure& failure);
    void tellWhyPortsAreClosed();
    void withdrawOpenFailureNotices();
    // Setpoints
    void setpointStep();
    int rowSetpoint(double value, const SetpointQuantity& quantity);
    Refused takeEntry(const SetpointQuantity& quantity);
    Refused acceptSetpoint(const QString& text, const SetpointQuantity& quantity);
    void setEntryText(const SetpointQuantity& quantity, const QString& text);
    QString& entryText(const SetpointQuantity& quantity);
    // Display tick
    void displayUpdate();
    // The over-current trip in shut-down mode.
    void overCurrentTrip();
    void ioWatchdogCheck();
    // Run
    void sequenceStep();
    Refused loadStepTableForRun();
    void openStepTable();
    // Log and records
    void replaceLog(const QString& text);
    void beginLog(const RunShape& run = {});
    void endLog(LogEnd why, const RunPosition& at, const QString& readings = {});
    RunPosition runPosition() const;
    void connectRecordWorker();
    void journalLine(const QString& line, const Sample& sample);
    void saveLogAsRecord();
    void recordsSaved(const RecordAnswer& answer);
    void journalsRecovered(const QList<JournalRecovery>& recoveries);
    void reportJournalFailure(const QString& path, const QString& why);
    void reportFolderNotSynced(const RecordAnswer& answer);
    void setOutputState(OutputState state);

    Platform platform_;
    OutputState output_ = OutputState::Off;
    LinkLossPolicy linkLossPolicy_ = LinkLossPolicy::SwitchOff;
    QTimer* pollTimer_ = nullptr;
    QTimer* sendTimer_ = nullptr;
    QTimer* journalSync_ = nullptr;
    QString databaseConnection_;
    QSqlTableModel* stepTableModel_ = nullptr;
    bool stepTableReady_ = false;
    std::function<bool()> commitStepEdits_;
    int runCount_ = 0;
    // Devices whose failure to open the operator has been told about.
    QSet<QString> explainedDevices_;
    QList<OpenFailure> searchFailures_;
    QList<OpenFailureNotice> openNotices_;
    // The frame the sender is putting on the line, taken at its first
    // character, and the opening of the port it goes to: a port opened
    // since then waits for the next frame's first character.
    QString frameOnLine_;
    int frameOpening_ = 0;
    quint64 frameNumberOnLine_ = 0;
    quint64 framesBegun_ = 0;
    quint64 lastWholeFrame_ = 0;
    quint64 repliesTaken_ = 0;
    // Counts the port's openings by this session.
    int openings_ = 0;
    // The device path of the port the session opened last, and of the port
    // the search chose and supervises.
    QString openPath_;
    QString supervisedPath_;
    // The port the search waits to let go of: the sender closes it at the
    // end of a frame, once it owes no off frame.
    bool letGoOfPort_ = false;
    // The ports (by device path) that took a frame switching the output on
    // since their last whole off frame: the supply behind each may be on.
    QSet<QString> offFrameOwedBy_;
    // The port whose supply answered when this on-period began; frames
    // switching the output on go there only, and after the search let go of
    // it, only once its supply answered again.
    QString supplyPath_;
    bool supplyAnswering_ = false;
    // What became of each port the latest searches tried, for a refusal
    // that says why no supply answers.
    QMap<int, PortOutcome> portOutcomes_;
    // The status bar told of a loss that no answer has replaced yet.
    bool lossTold_ = false;
    // The setpoints the frame carries now.
    int frameCentivolts_ = 0;
    int frameMilliamps_ = 0;
    // The row in force during a run, in volts and amperes.
    double rowVolts_ = 0;
    double rowAmperes_ = 0;
    int stepRows_ = 0;
    // The step and pass whose setpoints the frame carries: a new row goes
    // out from the tick after the countdown reached it.
    RunPosition stepInForce_;
    bool overCurrentTripped_ = false;
    IoWatchdog ioWatchdog_;
    // The log, with the record files' CR LF line ends, and the values behind
    // its measurement lines.
    QByteArray log_;
    RunSeries samples_;
    RecordWorker* records_ = nullptr;
    // Which log the log shows: a record's answer for another log leaves the
    // log alone.
    int logTag_ = 0;
    int pendingSaves_ = 0;
    int unsavedRecords_ = 0;
    int unsavedInMemory_ = 0;
    // The journal of the log under way could not be written.
    bool journalFailed_ = false;
    // A file system without folder syncs is reported once.
    bool folderSyncUnsupportedTold_ = false;
    // The run's end as the status bar tells it, for the notices of a loss
    // or a trip that ended a run; empty when the last stop ended no run.
    QString runEndNotice_;
    LogEnd closeReason_ = LogEnd::ProgramClosed;
    // This close stopped the output itself, and waits for its record.
    bool closeStopped_ = false;
    bool closeWaits_ = false;
    // The process ends whatever the close answers.
    bool closingHeld_ = false;
};
