#include "window/main_window.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>

namespace {

const SetpointQuantity& quantityOf(QChar unit) {
    return unit == kVoltageQuantity.unit ? kVoltageQuantity : kCurrentQuantity;
}

// Where the thumb is, held or let go, as an entry text.
QString sliderText(const QSlider* slider, const SetpointQuantity& quantity) {
    const int snapped =
        qRound(slider->sliderPosition() / double(kSliderStepFrameUnits)) * kSliderStepFrameUnits;
    return shortestDecimalText(snapped / quantity.frameUnitsPerUnit) + quantity.unit;
}

} // namespace

void MainWindow::voltageStepChosen() {
    QString text = voltageStepList->currentText();
    if (!text.contains(QLatin1Char('V'))) {
        text += QLatin1Char('V');
    }
    session_.chooseEntry(kVoltageQuantity, text);
}

void MainWindow::voltageSliderMoved() {
    session_.chooseEntry(kVoltageQuantity, sliderText(voltageSlider, kVoltageQuantity));
}

void MainWindow::currentStepChosen() {
    session_.chooseEntry(kCurrentQuantity, currentStepList->currentText());
}

void MainWindow::currentSliderMoved() {
    session_.chooseEntry(kCurrentQuantity, sliderText(currentSlider, kCurrentQuantity));
}

// A held thumb's value shows in the entry so the operator sees where it will
// land; nothing is taken before it is let go.
void MainWindow::showSliderWhileHeld(const SetpointQuantity& quantity) {
    QSlider* slider = quantity.unit == kVoltageQuantity.unit ? voltageSlider : currentSlider;
    showEntryText(quantity.unit, sliderText(slider, quantity));
}

// A thumb let go where it was taken changes nothing, so the entry shows the
// session's text again; a move puts its own text there right after.
void MainWindow::sliderLetGo(const SetpointQuantity& quantity) {
    showEntryText(quantity.unit, quantity.unit == kVoltageQuantity.unit
                                     ? session_.state.voltageEntryText
                                     : session_.state.currentEntryText);
}

void MainWindow::voltageEntryEdited() {
    session_.editEntry(kVoltageQuantity, voltageEntry->text());
}

void MainWindow::currentEntryEdited() {
    session_.editEntry(kCurrentQuantity, currentEntry->text());
}

void MainWindow::voltageEntryConfirmed() {
    showRefusal(session_.confirmEntry(kVoltageQuantity));
}

void MainWindow::currentEntryConfirmed() {
    showRefusal(session_.confirmEntry(kCurrentQuantity));
}

void MainWindow::outputButtonClicked() {
    showRefusal(session_.switchOutput(!session_.outputOn()));
}

void MainWindow::runButtonClicked() {
    showRefusal(session_.switchRun(!session_.running()));
}

// The mode follows the entry's position, so it does not depend on the language.
void MainWindow::overCurrentModeChosen() {
    session_.setTripMode(overCurrentModeList->currentIndex() == 1);
}

// The list holds "x" (until stopped) and then 1..100 in order.
void MainWindow::runCountChosen() {
    session_.setRunCount(runCountList->currentIndex());
}

// A refusal that only says the supply does not answer goes to the status
// bar; any other to a box.
void MainWindow::showRefusal(const Refused& refusal) {
    if (!refusal || refusal->toldOperator) {
        return;
    }
    if (refusal->inStatusBar) {
        statusBar->showMessage(
            QString(refusal->text).replace(QLatin1Char('\n'), QStringLiteral("  ")), 10000);
        return;
    }
    platform_.dialogs->message(refusal->text, refusal->title);
}

// The session's text goes into the box as it stands; it is no keystroke of
// the operator's.
void MainWindow::showEntryText(QChar unit, const QString& text) {
    QLineEdit* entry = unit == kVoltageQuantity.unit ? voltageEntry : currentEntry;
    const QSignalBlocker quiet(entry);
    entry->setText(text);
}

// A slider shows the setpoint in force, so its next key step starts there;
// showing it is no move of the operator's and runs no handler. A thumb the
// operator holds stays where it is held. A step list opens at the setpoint
// when it is one of its steps; only the operator's choice runs its handler.
void MainWindow::showSetpointInForce(QChar unit, int frameUnits) {
    const SetpointQuantity& quantity = quantityOf(unit);
    const bool voltage = unit == kVoltageQuantity.unit;
    QComboBox* stepList = voltage ? voltageStepList : currentStepList;
    const int step =
        stepList->findText(shortestDecimalText(frameUnits / quantity.frameUnitsPerUnit) + unit);
    if (step >= 0) {
        stepList->setCurrentIndex(step);
    }
    QSlider* slider = voltage ? voltageSlider : currentSlider;
    if (slider->isSliderDown()) {
        return;
    }
    const QSignalBlocker quiet(slider);
    slider->setValue(frameUnits);
}

// Buttons, captions, the front panel and the grid as the session stands; a
// new output or run starts a new sweep of the charts.
void MainWindow::showSessionState() {
    const OutputState output = session_.outputState();
    if (output != shownOutput_ && (output == OutputState::On || output == OutputState::Running)) {
        view.chartIndex = 0;
        statusBar->clearMessage();
    }
    shownOutput_ = output;
    setFrontPanelEnabled(output != OutputState::Running);
    stepGrid->setLocked(output == OutputState::Running);
    setButtonGreen(outputButton, output == OutputState::On);
    setButtonGreen(runButton, output == OutputState::Running);
    showButtonCaptions();
    {
        const QSignalBlocker quiet(overCurrentModeList);
        overCurrentModeList->setCurrentIndex(session_.state.tripMode ? 1 : 0);
    }
    const QSignalBlocker quiet(runCountList);
    runCountList->setCurrentIndex(session_.runCount());
}

void MainWindow::setFrontPanelEnabled(bool enabled) {
    const std::array<QWidget*, 7> frontPanel = {outputButton,    voltageSlider,   currentSlider,
                                                voltageStepList, currentStepList, voltageEntry,
                                                currentEntry};
    for (QWidget* control : frontPanel) {
        control->setEnabled(enabled);
    }
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
