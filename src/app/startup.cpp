#include "app/main_window.h"

#include "app/diagnostic_pane.h"
#include "display/log_box.h"
#include "display/log_text.h"
#include "display/picture_box.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "platform/program_files.h"
#include "platform/screen.h"
#include "record/record_worker.h"
#include "setting/setpoint.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>

namespace {

void configureSlider(QSlider* slider, int maximum) {
    slider->setMinimum(0);
    slider->setMaximum(maximum);
    slider->setOrientation(Qt::Vertical);
}

// Selecting the first entry is a selection like the operator's: the list's
// handler runs at that moment.
template <typename Handler>
void fillAndSelectFirst(QComboBox* combo, const QStringList& items, Handler handler) {
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(0);
    handler();
}

} // namespace

void MainWindow::load() {
    connectRecordWorker();
    // The log of a program that died becomes its record.
    recoverJournalsAtStart();

    state.portOpened = false;
    state.portNumber = 0;
    state.currentDigits = QStringLiteral("0000");
    state.voltageDigits = QStringLiteral("0000");

    serialPort->setSettings(QStringLiteral("9600,N,8,1"));

    setWindowTitle(QStringLiteral("Velkor"));
    const QString iconPath = windowIconFile(programDir());
    if (!iconPath.isEmpty()) {
        setWindowIcon(QIcon(iconPath));
    }

    // Where no window manager maximizes the window it still covers the screen.
    const QRect available = platform_.screen->availableGeometry();
    move(available.topLeft());
    resize(available.size());
    setWindowState(Qt::WindowMaximized);

    layOutForScreen();

    configureSlider(voltageSlider, kVoltageFieldLimit);
    configureSlider(currentSlider, kCurrentFieldLimit);

    QStringList volts;
    for (int v = 0; v <= 31; ++v) {
        volts << QString::number(v) + QLatin1Char('V');
    }
    fillAndSelectFirst(voltageStepList, volts, [this] { voltageStepChosen(); });
    voltageEntry->setAlignment(Qt::AlignLeft);

    QStringList amperes;
    for (int k = 0; k <= 51; ++k) {
        amperes << shortestDecimalText(k / 10.0) + QLatin1Char('A');
    }
    fillAndSelectFirst(currentStepList, amperes, [this] { currentStepChosen(); });
    currentEntry->setAlignment(Qt::AlignLeft);

    fillAndSelectFirst(languageList, {QStringLiteral("中文"), QStringLiteral("English")},
                       [this] { languageChosen(); });
    fillAndSelectFirst(overCurrentModeList,
                       {QStringLiteral("恒流输出"), QStringLiteral("过流关断")},
                       [this] { overCurrentModeChosen(); });

    QStringList runCounts{QStringLiteral("x")};
    for (int n = 1; n <= 100; ++n) {
        runCounts << QString::number(n);
    }
    fillAndSelectFirst(runCountList, runCounts, [this] { runCountChosen(); });

    state.outputOn = false;

    for (PictureBox* picture : charts) {
        picture->setForeColor(QColor(255, 255, 255));
    }

    pollTimer->setInterval(100);
    sendTimer->setInterval(5);

    state.chartIndex = 0;
    state.rowIndex = 0;
    state.secondsLeft = 0;

    bindStepTable();

    logBox->setText(logHeader());

    statusPanels[0]->setText(QStringLiteral("通讯状态:等待..."));
}

bool MainWindow::readyToClose() {
    if (!closing_) {
        closing_ = true;
        closeStopped_ = state.outputOn || state.runActive;
        if (closeStopped_) {
            stopOutput();
        } else if (unsavedRecords_ > 0) {
            ++pendingSaves_;
            records_->retryUnsaved();
        }
    }
    // The off frame goes out meanwhile; the answer closes the window again.
    if (pendingSaves_ > 0) {
        closeWaits_ = true;
        return false;
    }
    closing_ = false;
    // A log that has nowhere to go but memory, or this close's own record,
    // keeps the window open; the failure has been reported. A journal that
    // keeps a log for the next start lets a later close go.
    if (unsavedRecords_ > 0 && (closeStopped_ || unsavedInMemory_ > 0)) {
        return false;
    }
    if (closeStopped_) {
        // The supply switches off only when it gets the frame that says so.
        sendWholeFrameBeforeClosing();
    }
    return true;
}

void MainWindow::endWithoutDisplay() {
    // Long enough for a slow network folder; the journal keeps the log if
    // even that is not enough.
    constexpr int kSaveWaitMs = 10000;
    const bool stopped = state.outputOn || state.runActive;
    exiting_ = true;
    if (stopped) {
        stopOutput();
    }
    pollTimer->stop();
    sendTimer->stop();
    if (stopped) {
        sendWholeFrameBeforeClosing();
    }
    records_->waitUntilIdle(kSaveWaitMs);
    releasePort();
}

void MainWindow::releasePort() {
    if (serialPort->isOpen()) {
        serialPort->close();
    }
}

void MainWindow::clearDiagnostics() {
    diagnosticPane->clear();
}
