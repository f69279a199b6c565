#include "session/supply_session.h"

#include "link/frame.h"
#include "link/port_outcome.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/log_text.h"
#include "record/record_worker.h"
#include "record/sample.h"
#include "remote/scpi_port.h"
#include "sequence/step_table.h"
#include "sequence/step_table_store.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTimer>

#include <exception>
#include <utility>

namespace {

QString supplySilent(bool run) {
    return run ? QStringLiteral("电源没有应答，序列运行未开始。\n"
                                "The supply does not answer; the run did not start.")
               : QStringLiteral("电源没有应答，输出未打开。\n"
                                "The supply does not answer; the output stays off.");
}

QString closingRefuses() {
    return QStringLiteral("程序正在关闭。\nThe program is closing.");
}

// The settings file's link_loss_output: "hold" keeps an output on through a
// lost link; anything else, or no key, switches it off.
LinkLossPolicy linkLossPolicyIn(const QString& dataDir) {
    const QString file = dataDir + QLatin1Char('/') + QLatin1String(kSettingsFileName);
    if (!QFileInfo::exists(file)) {
        return LinkLossPolicy::SwitchOff;
    }
    const QSettings settings(file, QSettings::IniFormat);
    const QString value = settings.value(QStringLiteral("link_loss_output")).toString();
    return value.trimmed().compare(QStringLiteral("hold"), Qt::CaseInsensitive) == 0
               ? LinkLossPolicy::Hold
               : LinkLossPolicy::SwitchOff;
}

} // namespace

SupplySession::SupplySession(const Platform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {
    pollTimer_ = new QTimer(this);
    pollTimer_->setObjectName(QStringLiteral("pollTimer"));
    pollTimer_->setInterval(100);
    sendTimer_ = new QTimer(this);
    sendTimer_->setObjectName(QStringLiteral("sendTimer"));
    sendTimer_->setInterval(5);
    sendTimer_->setTimerType(Qt::PreciseTimer);
    journalSync_ = new QTimer(this);
    journalSync_->setInterval(1000);
    connect(pollTimer_, &QTimer::timeout, this, &SupplySession::pollTick);
    connect(sendTimer_, &QTimer::timeout, this, &SupplySession::sendTick);
    // Every second, so at most the last second or two of the log is lost
    // when the machine itself goes down.
    connect(journalSync_, &QTimer::timeout, this, [this] { records_->syncJournal(); });
    connectRecordWorker();
    linkLossPolicy_ = linkLossPolicyIn(platform_.dataDir);
    state.voltageDigits = QStringLiteral("0000");
    state.currentDigits = QStringLiteral("0000");
    state.voltageEntryText = QStringLiteral("00.00V");
    state.currentEntryText = QStringLiteral("0.000A");
    log_ = logHeader().toUtf8();
    platform_.serialPort->setSettings(QStringLiteral("9600,N,8,1"));
}

SupplySession::~SupplySession() {
    // The model goes before its database connection is removed, which it
    // would otherwise still hold.
    delete stepTableModel_;
    stepTableModel_ = nullptr;
    if (!databaseConnection_.isEmpty()) {
        QSqlDatabase::database(databaseConnection_, false).close();
        QSqlDatabase::removeDatabase(databaseConnection_);
    }
}

void SupplySession::open() {
    // The log of a program that died becomes its record; once the event loop
    // runs, so a stop signal during the recovery ends the program after it.
    QTimer::singleShot(0, this,
                       [this] { records_->recoverJournals(platform_.dataDir, recordDir()); });
    openStepTable();
}

void SupplySession::start() {
    open();
    pollTimer_->start();
    sendTimer_->start();
}

void SupplySession::openStepTable() {
    static int connections = 0;
    databaseConnection_ = QStringLiteral("velkor-step-table-%1").arg(++connections);
    const QString problem = ::openStepTable(platform_.dataDir, databaseConnection_);
    stepTableReady_ = problem.isEmpty();
    if (!stepTableReady_) {
        platform_.dialogs->message(problem, QStringLiteral("Velkor"));
        return;
    }
    stepTableModel_ = new QSqlTableModel(this, QSqlDatabase::database(databaseConnection_));
    stepTableModel_->setTable(kStepTableName);
    stepTableModel_->setEditStrategy(QSqlTableModel::OnRowChange);
    stepTableModel_->setSort(0, Qt::AscendingOrder);
    stepTableModel_->select();
}

// Nothing switches the output on while the program closes or while no
// supply answers; either is said in the status bar.
Refused SupplySession::refusalToSwitchOn(bool run) const {
    if (closing()) {
        return Refusal{closingRefuses(), QStringLiteral("Velkor"), true};
    }
    if (!state.linkUp) {
        return Refusal{supplySilent(run) + QStringLiteral("\n") + portsTriedText(portsTried()),
                       QStringLiteral("Velkor"), true};
    }
    return std::nullopt;
}

Refused SupplySession::switchOutput(bool on) {
    if (!on) {
        stop();
        return std::nullopt;
    }
    if (outputOn()) {
        return std::nullopt;
    }
    if (Refused refusal = refusalToSwitchOn(false)) {
        return refusal;
    }
    // The output comes on at what the entries show, not at a setpoint that a
    // fresh entry is still about to replace.
    for (const SetpointQuantity* quantity : {&kVoltageQuantity, &kCurrentQuantity}) {
        if (Refused refusal = takeEntry(*quantity)) {
            return refusal;
        }
    }
    overCurrentTripped_ = false;
    supplyPath_ = supervisedPath_;
    supplyAnswering_ = true;
    setOutputState(OutputState::On);
    beginLog();
    return std::nullopt;
}

Refused SupplySession::switchRun(bool run) {
    if (!run) {
        if (running()) {
            stop();
        }
        return std::nullopt;
    }
    if (running()) {
        return std::nullopt;
    }
    if (Refused refusal = refusalToSwitchOn(true)) {
        return refusal;
    }
    setRunCount(runCount_);
    if (Refused refusal = loadStepTableForRun()) {
        return refusal;
    }
    // The manual period before the run is a record of its own, and the output
    // stays on into the run.
    if (outputOn()) {
        endLog(LogEnd::HandedToRun, {});
    }
    overCurrentTripped_ = false;
    state.runEndHandled = false;
    state.rowIndex = 0;
    state.passNumber = 1;
    stepInForce_ = {1, 1};
    supplyPath_ = supervisedPath_;
    supplyAnswering_ = true;
    beginLog(RunShape{stepRows_, runCount_});
    state.rowSeconds =
        toInt16HalfEven(cellNumber(state.sequenceTable[kHoldColumn][state.rowIndex]));
    state.secondsLeft = state.rowSeconds;
    // Last: whoever the change is told to sees the run whole.
    setOutputState(OutputState::Running);
    return std::nullopt;
}

void SupplySession::setTripMode(bool shutDown) {
    if (state.tripMode == shutDown) {
        return;
    }
    state.tripMode = shutDown;
    emit changed();
}

void SupplySession::setRunCount(int passes) {
    runCount_ = passes;
    state.runsUnlimited = passes == 0;
    state.runsLeft = passes;
    emit changed();
}

qint64 SupplySession::nowMs() const {
    return platform_.clock->now().toMSecsSinceEpoch();
}

void SupplySession::setEnglish(bool english) {
    state.englishUi = english;
}

// Once a second: the readings, the log line while the output is on and the
// end of a counted run; then the window shows them.
void SupplySession::displayUpdate() {
    emit diagnosticLine(state.frameText + QLatin1Char('F'));
    state.voltageText = voltageReadoutText(state.voltageDigits);
    state.currentText = currentReadoutText(state.currentDigits);

    if (outputOn()) {
        const QDateTime now = platform_.clock->now();
        Sample sample = sampleOf(now, state.voltageDigits, state.currentDigits, state.overCurrent,
                                 state.linkUp, frameCentivolts_, frameMilliamps_);
        sample.fresh = sample.fresh && state.readingFresh();
        const RunPosition at = runPosition();
        sample.step = at.step;
        sample.pass = at.pass;
        // The line and the spreadsheet's row say the same: a second without a
        // live reading has no numbers in either.
        const QString line = logSecondLine(timeOfDayText(now.time()), state.voltageDigits,
                                           state.currentDigits, sample.hasReading());
        samples_.samples.append(sample);
        appendLog(QStringLiteral("\r\n") + line);
        journalLine(line, sample);
    }

    if (running() && !state.runsUnlimited && state.runsLeft == 0 && !state.runEndHandled) {
        stop(LogEnd::RunCompleted);
    }
    emit displayed();
}

SupplySession::CloseAnswer SupplySession::requestClose() {
    if (output_ == OutputState::Closed) {
        return CloseAnswer::Closed;
    }
    if (output_ != OutputState::Closing) {
        closeStopped_ = outputOn();
        if (closeStopped_) {
            stop(std::exchange(closeReason_, LogEnd::ProgramClosed));
        } else if (unsavedRecords_ > 0) {
            ++pendingSaves_;
            records_->retryUnsaved();
        }
        setOutputState(OutputState::Closing);
    }
    // The off frame goes out meanwhile; closeWaitOver() asks again.
    if (pendingSaves_ > 0) {
        closeWaits_ = true;
        return CloseAnswer::Waits;
    }
    // A log that has nowhere to go but memory, or this close's own record,
    // keeps the program running; the failure has been reported. A journal
    // that keeps a log for the next start lets a later close go. A process
    // that ends all the same never hands the output back.
    if (unsavedRecords_ > 0 && (closeStopped_ || unsavedInMemory_ > 0)) {
        if (!closingHeld_) {
            setOutputState(OutputState::Off);
        }
        return CloseAnswer::Refused;
    }
    releasePort();
    return CloseAnswer::Closed;
}

void SupplySession::endWithoutDisplay() {
    // Long enough for a slow network folder; the journal keeps the log if
    // even that is not enough.
    constexpr int kSaveWaitMs = 10000;
    if (output_ == OutputState::Closed) {
        return;
    }
    records_->leavePicturesToNextStart();
    if (outputOn()) {
        stop(LogEnd::DisplayLost);
    } else if (unsavedRecords_ > 0) {
        // Logs kept from failed saves get their last try too.
        records_->retryUnsaved();
    }
    // The supply hears of it before the disk is waited for.
    pollTimer_->stop();
    sendOffFramesBeforeClosing();
    records_->waitUntilIdle(kSaveWaitMs);
    releasePort();
}

QString SupplySession::closeLeavingJournals() {
    if (output_ == OutputState::Closed) {
        return {};
    }
    if (outputOn()) {
        stop(closeReason_);
    }
    QString text;
    if (pendingSaves_ > 0 || unsavedRecords_ > 0) {
        records_->abandon();
        text = QStringLiteral("程序因停止信号结束，测量记录尚未保存为记录文件。它保留在数据文件夹 "
                              "%1 的日志文件 (journal-*.journal) 中，下次启动时保存。\nThe "
                              "program ends at a stop signal before the record was saved. The log "
                              "stays in its journal (journal-*.journal) in the data folder %1, and "
                              "the next start saves it as a record.")
                   .arg(QDir::toNativeSeparators(platform_.dataDir));
        if (journalFailed_ || unsavedInMemory_ > 0) {
            text += QStringLiteral("\n\n无法写入磁盘的测量记录已丢失。\nA log that could not "
                                   "be kept on disk is lost.");
        }
        platform_.dialogs->message(text, QStringLiteral("Velkor"));
    }
    releasePort();
    return text;
}

// A supply switches off only when it gets a whole frame that says so: one
// goes out to every port that took an on frame since its last whole off
// frame before the port is let go.
void SupplySession::releasePort() {
    pollTimer_->stop();
    sendOffFramesBeforeClosing();
    sendTimer_->stop();
    closePort();
    setOutputState(OutputState::Closed);
}
