#include "app/form1.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <QLineEdit>
#include <QSlider>

// Decides the setpoints the frame carries this tick: the current row's during
// a run, otherwise the entry boxes' once they have rested for 30 ticks.
void Form1::setpointStep() {
    if (state.runActive) {
        sequenceStep();
        state.rowVoltage = rowSetpoint(rowVolts_, kVoltageQuantity);
        state.rowCurrent = rowSetpoint(rowAmperes_, kCurrentQuantity);
        frameVoltage_ = state.rowVoltage;
        frameCurrent_ = state.rowCurrent;
        showOnSlider(Slider1, state.rowVoltage);
        showOnSlider(Slider2, state.rowCurrent);
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
qint16 Form1::rowSetpoint(double value, const SetpointQuantity& quantity) {
    const qint16 setpoint = toInt16HalfEven(value * quantity.frameUnitsPerUnit);
    if (setpoint > quantity.frameLimit || setpoint < 0) {
        platform_.dialogs->message(quantity.prompt, quantity.rowTitle);
        return 0;
    }
    return setpoint;
}

bool Form1::takeVoltageEntry() {
    return takeEntry(kVoltageQuantity, voltageSide());
}

bool Form1::takeCurrentEntry() {
    return takeEntry(kCurrentQuantity, currentSide());
}

// Takes an entry box's text as the setpoint; false, with a message and the
// last accepted text back in the box, when it is refused.
bool Form1::takeEntry(const SetpointQuantity& quantity, const SetpointSide& side) {
    if (!side.entry->text().contains(quantity.unit)) {
        side.entry->setText(side.entry->text() + quantity.unit);
    }
    const QString text = side.entry->text();
    if (Text_err(text, quantity.unit)) {
        refuse(quantity.prompt, quantity.entryTitle);
        side.entry->setText(*side.lastText);
        return false;
    }
    return acceptSetpoint(text, quantity, side);
}
