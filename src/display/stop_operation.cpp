#include "app/form1.h"

#include "display/log_box.h"
#include "display/log_text.h"
#include "record/record_file.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

// Every switch-off comes here: output and run end, the front panel is given
// back, and the measurement log is saved as a record file. The state changes
// come first, so a failed write still leaves the output off.
qint16 Form1::GBDY_CX() {
    stopOutput();
    return -1;
}

bool Form1::stopOutput() {
    lockStepGrid(false);
    state.runActive = false;
    // A stop ends the run too: a run end noticed later in the same tick has
    // nothing left to stop, and must not save the log a second time.
    state.runEndHandled = -1;
    state.outputOn = false;
    setFrontPanelEnabled(true);
    Text3->appendText(QStringLiteral("\r\n"));

    const QString path = freeRecordPath(recordDir(), stopStamp(platform_.clock->now()));
    const QString shownPath = QDir::toNativeSeparators(path);
    showButtonCaptions();
    Text3->appendText(
        (state.englishUi ? QStringLiteral("Save Path:") : QStringLiteral("保存路径:")) + shownPath);
    setButtonGreen(Command1, false);
    setButtonGreen(Command4, false);
    state.rowIndex = 0;
    state.secondsLeft = 0;

    QString problem;
    if (!QDir().mkpath(recordDir())) {
        problem = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(recordDir()));
    } else {
        problem = writeRecordFile(path, Text3->text() + QStringLiteral("\r\n"));
    }
    if (!problem.isEmpty()) {
        platform_.dialogs->message(
            QStringLiteral("记录文件未能保存。\nThe record file could not be "
                           "saved.\n\n%1\n%2")
                .arg(shownPath, problem),
            QStringLiteral("Velkor"));
    }
    endJournal(problem.isEmpty());
    return problem.isEmpty();
}

// In shut-down mode, a reply that reported over-current while the output is
// on switches the output off.
void Form1::overCurrentTrip() {
    if (state.outputOn && state.overCurrent) {
        GBDY_CX();
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
