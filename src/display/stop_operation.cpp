#include "app/form1.h"

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
qint16 Form1::GBDY_CX() {
    stopOutput();
    return -1;
}

void Form1::stopOutput() {
    lockStepGrid(false);
    state.runActive = false;
    // A stop ends the run too: a run end noticed later in the same tick has
    // nothing left to stop, and must not save the log a second time.
    state.runEndHandled = -1;
    state.outputOn = false;
    state.frameText = ::composeFrame(frameVoltage_, frameCurrent_, state.tripMode, false);
    setFrontPanelEnabled(true);
    Text3->appendText(QStringLiteral("\r\n"));
    showButtonCaptions();
    setButtonGreen(Command1, false);
    setButtonGreen(Command4, false);
    state.rowIndex = 0;
    state.secondsLeft = 0;
    saveLogAsRecord();
}

// In shut-down mode, a reply that reported over-current while the output is
// on switches the output off.
void Form1::overCurrentTrip() {
    if (state.outputOn && state.overCurrent) {
        GBDY_CX();
        overCurrentTripped_ = true;
        platform_.dialogs->message(QStringLiteral("电源报告过流，输出已关闭。\n"
                                                  "The supply reported over-current; the output "
                                                  "was switched off."),
                                   QStringLiteral("Velkor"));
    }
}

void Form1::setFrontPanelEnabled(bool enabled) {
    const std::array<QWidget*, 7> frontPanel = {Command1, Slider1, Slider2, Combo1,
                                                Combo2,   Text1,   Text2};
    for (QWidget* control : frontPanel) {
        control->setEnabled(enabled);
    }
}
