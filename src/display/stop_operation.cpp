#include "app/main_window.h"

#include "display/log_box.h"
#include "link/frame.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

// Every switch-off comes here: output and run end, the off frame goes out from
// the next frame boundary on, the front panel is given back, and the
// measurement log is handed over to be saved as a record file. Nothing here
// waits for the disk, so the supply hears of the stop first whatever the
// log's length.
qint16 MainWindow::stopOperation() {
    stopOutput();
    return -1;
}

void MainWindow::stopOutput() {
    lockStepGrid(false);
    state.runActive = false;
    // A stop ends the run too: a run end noticed later in the same tick has
    // nothing left to stop, and must not save the log a second time.
    state.runEndHandled = -1;
    state.outputOn = false;
    state.frameText = ::composeFrame(frameVoltage_, frameCurrent_, state.tripMode, false);
    setFrontPanelEnabled(true);
    logBox->appendText(QStringLiteral("\r\n"));
    showButtonCaptions();
    setButtonGreen(outputButton, false);
    setButtonGreen(runButton, false);
    state.rowIndex = 0;
    state.secondsLeft = 0;
    saveLogAsRecord();
}

// In shut-down mode, a reply that reported over-current while the output is
// on switches the output off.
void MainWindow::overCurrentTrip() {
    if (state.outputOn && state.overCurrent) {
        stopOperation();
        overCurrentTripped_ = true;
        platform_.dialogs->message(QStringLiteral("电源报告过流，输出已关闭。\n"
                                                  "The supply reported over-current; the output "
                                                  "was switched off."),
                                   QStringLiteral("Velkor"));
    }
}

void MainWindow::setFrontPanelEnabled(bool enabled) {
    const std::array<QWidget*, 7> frontPanel = {outputButton,    voltageSlider,   currentSlider,
                                                voltageStepList, currentStepList, voltageEntry,
                                                currentEntry};
    for (QWidget* control : frontPanel) {
        control->setEnabled(enabled);
    }
}
