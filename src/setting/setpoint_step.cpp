#include "app/main_window.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <QLineEdit>
#include <QSlider>

// Decides the setpoints the frame carries this tick: the current row's during
// a run, otherwise the entry boxes' once they have rested for 30 ticks.
void MainWindow::setpointStep() {
    if (state.runActive) {
        sequenceStep();
        state.rowVoltage = rowSetpoint(rowVolts_, kVoltageQuantity);
        state.rowCurrent = rowSetpoint(rowAmperes_, kCurrentQuantity);
        frameVoltage_ = state.rowVoltage;
        frameCurrent_ = state.rowCurrent;
        showOnSlider(voltageSlider, state.rowVoltage);
        showOnSlider(currentSlider, state.rowCurrent);
        return;
    }

    if (state.voltageEditIdle > 30) {
        takeVoltageEntry();
    }
    frameVoltage_ = state.voltageSetpoint;

    if (state.currentEditIdle > 30) {
        takeCurrentEntry();
    }
    frameCurrent_ = state.currentSetpoint;
}

// A row's value in the frame's units; one out of range is reported and runs
// as 0.
qint16 MainWindow::rowSetpoint(double value, const SetpointQuantity& quantity) {
    const qint16 setpoint = toInt16HalfEven(value * quantity.frameUnitsPerUnit);
    if (setpoint > quantity.frameLimit || setpoint < 0) {
        platform_.dialogs->message(quantity.prompt, quantity.rowTitle);
        return 0;
    }
    return setpoint;
}

bool MainWindow::takeVoltageEntry() {
    return takeEntry(kVoltageQuantity, voltageSide());
}

bool MainWindow::takeCurrentEntry() {
    return takeEntry(kCurrentQuantity, currentSide());
}

// Takes an entry box's text as the setpoint; false, with a message and the
// last accepted text back in the box, when it is refused.
bool MainWindow::takeEntry(const SetpointQuantity& quantity, const SetpointSide& side) {
    if (!side.entry->text().contains(quantity.unit)) {
        side.entry->setText(side.entry->text() + quantity.unit);
    }
    const QString text = side.entry->text();
    if (isRefusedEntryText(text, quantity.unit)) {
        refuse(quantity.prompt, quantity.entryTitle);
        side.entry->setText(*side.lastText);
        return false;
    }
    return acceptSetpoint(text, quantity, side);
}
