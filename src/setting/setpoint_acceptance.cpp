#include "app/main_window.h"

#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

void MainWindow::acceptVoltageText(const QString& text) {
    acceptSetpoint(text, kVoltageQuantity, voltageSide());
}

void MainWindow::acceptCurrentText(const QString& text) {
    acceptSetpoint(text, kCurrentQuantity, currentSide());
}

MainWindow::SetpointSide MainWindow::voltageSide() {
    return {voltageEntry, voltageSlider, &state.lastVoltageText, &state.voltageSetpoint};
}

MainWindow::SetpointSide MainWindow::currentSide() {
    return {currentEntry, currentSlider, &state.lastCurrentText, &state.currentSetpoint};
}

// Takes a text as the setpoint; false, with a message and the last accepted
// text back in the entry box, when its value is out of range.
bool MainWindow::acceptSetpoint(const QString& text, const SetpointQuantity& quantity,
                                const SetpointSide& side) {
    const double x = leadingNumber(text) * quantity.frameUnitsPerUnit;
    if (x > quantity.frameLimit || x < 0) {
        refuse(quantity.prompt, quantity.valueTitle);
        side.entry->setText(*side.lastText);
        return false;
    }
    *side.lastText = text;
    *side.setpoint = toInt16HalfEven(x);
    showOnSlider(side.slider, *side.setpoint);
    return true;
}

// A slider shows the setpoint in force, so its next key step starts there;
// showing it is no move of the operator's and runs no handler. A thumb the
// operator holds stays where it is held.
void MainWindow::showOnSlider(QSlider* slider, qint16 setpoint) {
    if (slider->isSliderDown()) {
        return;
    }
    const QSignalBlocker quiet(slider);
    slider->setValue(setpoint);
}
