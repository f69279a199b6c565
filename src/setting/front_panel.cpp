#include "app/main_window.h"

#include "display/log_box.h"
#include "display/log_text.h"
#include "platform/clock.h"
#include "setting/setpoint.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

void MainWindow::voltageStepChosen() {
    voltageEntry->setText(voltageStepList->currentText());
    if (!voltageEntry->text().contains(QLatin1Char('V'))) {
        voltageEntry->setText(voltageEntry->text() + QLatin1Char('V'));
    }
    acceptVoltageEntryQuietly();
}

void MainWindow::voltageSliderMoved() {
    voltageEntry->setText(shortestDecimalText(voltageSlider->value() / 100.0) + QLatin1Char('V'));
    acceptVoltageEntryQuietly();
}

// A text from a list or the slider that is not acceptable is replaced without
// a message; a voltage above 31 V is refused with one.
void MainWindow::acceptVoltageEntryQuietly() {
    if (isRefusedEntryText(voltageEntry->text(), QLatin1Char('V'))) {
        voltageEntry->setText(QStringLiteral("00.00V"));
        return;
    }
    acceptVoltageText(voltageEntry->text());
}

void MainWindow::currentStepChosen() {
    currentEntry->setText(currentStepList->currentText());
}

void MainWindow::currentSliderMoved() {
    currentEntry->setText(shortestDecimalText(currentSlider->value() / 1000.0) + QLatin1Char('A'));
}

void MainWindow::voltageEntryEdited() {
    state.voltageEditIdle = 0;
}

void MainWindow::currentEntryEdited() {
    state.currentEditIdle = 0;
}

void MainWindow::outputButtonClicked() {
    if (state.outputOn) {
        stopOperation();
        setButtonGreen(outputButton, false);
        return;
    }
    if (!state.linkUp) {
        return;
    }
    // The output comes on at what the boxes show, not at a setpoint that a
    // fresh entry is still about to replace.
    if (!takeVoltageEntry() || !takeCurrentEntry()) {
        return;
    }
    state.chartIndex = 0;
    overCurrentTripped_ = false;
    state.outputOn = true;
    setButtonGreen(outputButton, true);
    showButtonCaptions();
    writeLogHeader();
}

// The mode follows the entry's position, so it does not depend on the language.
void MainWindow::overCurrentModeChosen() {
    state.tripMode = overCurrentModeList->currentIndex() == 1;
}

void MainWindow::writeLogHeader() {
    const QDateTime now = platform_.clock->now();
    logBox->setText(logHeader());
    logBox->appendText(logStartLine(now, timeOfDayText(now.time())));
    samples_.begin(now);
    startJournal();
}

// The palette is what the window's own style shows; native styles draw push
// buttons themselves and ignore it, but every style honours a style sheet.
void MainWindow::setButtonGreen(QPushButton* button, bool green) {
    if (!green) {
        button->setStyleSheet(QString());
        button->setPalette(QPalette());
        return;
    }
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(0, 255, 0));
    button->setPalette(palette);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(0, 255, 0); "
                                         "border: 1px solid rgb(0, 110, 0); }"));
}
