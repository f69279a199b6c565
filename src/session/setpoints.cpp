#include "session/supply_session.h"

#include "link/frame.h"
#include "sequence/step_table.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

namespace {

bool isVoltage(const SetpointQuantity& quantity) {
    return quantity.unit == kVoltageQuantity.unit;
}

QString runLocksSettings() {
    return QStringLiteral("序列运行中，设置不可更改。\nA run is going; the settings are locked.");
}

} // namespace

// Decides the setpoints the frame carries this tick: the current row's during
// a run, otherwise the entries' once they have rested for 30 ticks.
void SupplySession::setpointStep() {
    if (running()) {
        sequenceStep();
        state.rowCentivolts = rowSetpoint(rowVolts_, kVoltageQuantity);
        state.rowMilliamps = rowSetpoint(rowAmperes_, kCurrentQuantity);
        frameCentivolts_ = state.rowCentivolts;
        frameMilliamps_ = state.rowMilliamps;
        emit setpointShown(kVoltageQuantity.unit, state.rowCentivolts);
        emit setpointShown(kCurrentQuantity.unit, state.rowMilliamps);
        return;
    }
    const auto takeRested = [this](const SetpointQuantity& quantity, int idleTicks) {
        if (idleTicks <= 30) {
            return;
        }
        if (const Refused refusal = takeEntry(quantity)) {
            platform_.dialogs->message(refusal->text, refusal->title);
        }
    };
    takeRested(kVoltageQuantity, state.voltageEditIdle);
    frameCentivolts_ = state.voltageSetpointCentivolts;
    takeRested(kCurrentQuantity, state.currentEditIdle);
    frameMilliamps_ = state.currentSetpointMilliamps;
}

// A row's value in the frame's units; one out of range is reported and runs
// as 0.
int SupplySession::rowSetpoint(double value, const SetpointQuantity& quantity) {
    const int setpoint = toInt16HalfEven(value * quantity.frameUnitsPerUnit);
    if (setpoint > quantity.frameLimit || setpoint < 0) {
        platform_.dialogs->message(quantity.prompt.text(state.englishUi),
                                   quantity.rowTitle.title(state.englishUi));
        return 0;
    }
    return setpoint;
}

QString& SupplySession::entryText(const SetpointQuantity& quantity) {
    return isVoltage(quantity) ? state.voltageEntryText : state.currentEntryText;
}

// A text the session puts into an entry counts as an edit, as the operator's
// own would: it rests three seconds before it is taken again.
void SupplySession::setEntryText(const SetpointQuantity& quantity, const QString& text) {
    editEntry(quantity, text);
    emit entryTextChanged(quantity.unit, text);
}

void SupplySession::editEntry(const SetpointQuantity& quantity, const QString& text) {
    entryText(quantity) = text;
    (isVoltage(quantity) ? state.voltageEditIdle : state.currentEditIdle) = 0;
}

Refused SupplySession::confirmEntry(const SetpointQuantity& quantity) {
    if (running()) {
        return std::nullopt;
    }
    return takeEntry(quantity);
}

// A voltage from a list or the slider that is not acceptable is replaced
// without a message and one above 31 V is refused with one; a current waits
// for its entry to rest, as a typed one does.
void SupplySession::chooseEntry(const SetpointQuantity& quantity, const QString& text) {
    setEntryText(quantity, text);
    if (!isVoltage(quantity)) {
        return;
    }
    if (isRefusedEntryText(text, quantity.unit)) {
        setEntryText(quantity, QStringLiteral("00.00V"));
        return;
    }
    if (const Refused refusal = acceptSetpoint(text, quantity)) {
        platform_.dialogs->message(refusal->text, refusal->title);
    }
}

// Takes an entry's text as the setpoint; refused, with the last accepted
// text back in the entry, when it is no setpoint.
Refused SupplySession::takeEntry(const SetpointQuantity& quantity) {
    if (!entryText(quantity).contains(quantity.unit)) {
        setEntryText(quantity, entryText(quantity) + quantity.unit);
    }
    const QString text = entryText(quantity);
    if (isRefusedEntryText(text, quantity.unit)) {
        setEntryText(quantity, isVoltage(quantity) ? state.lastVoltageText : state.lastCurrentText);
        return Refusal{quantity.prompt.text(state.englishUi),
                       quantity.entryTitle.title(state.englishUi), false, false,
                       quantity.prompt.english};
    }
    return acceptSetpoint(text, quantity);
}

// Takes a text as the setpoint; refused, with the last accepted text back in
// the entry, when its value is out of range.
Refused SupplySession::acceptSetpoint(const QString& text, const SetpointQuantity& quantity) {
    QString& lastText = isVoltage(quantity) ? state.lastVoltageText : state.lastCurrentText;
    const double x = leadingNumber(text) * quantity.frameUnitsPerUnit;
    if (x > quantity.frameLimit || x < 0) {
        setEntryText(quantity, lastText);
        return Refusal{quantity.prompt.text(state.englishUi),
                       quantity.valueTitle.title(state.englishUi), false, false,
                       quantity.prompt.english};
    }
    lastText = text;
    int& setpoint =
        isVoltage(quantity) ? state.voltageSetpointCentivolts : state.currentSetpointMilliamps;
    setpoint = toInt16HalfEven(x);
    emit setpointShown(quantity.unit, setpoint);
    return std::nullopt;
}

// The value goes into the entry as if typed and is taken at once, with the
// checks of a typed entry.
Refused SupplySession::setSetpoint(const SetpointQuantity& quantity, int frameUnits) {
    if (running()) {
        return Refusal{runLocksSettings(), QStringLiteral("Velkor")};
    }
    setEntryText(quantity,
                 shortestDecimalText(frameUnits / quantity.frameUnitsPerUnit) + quantity.unit);
    return takeEntry(quantity);
}

void SupplySession::composeFrameNow() {
    if (running()) {
        const auto row = [this](int column, const SetpointQuantity& quantity) {
            return rowSetpoint(cellNumber(state.sequenceTable[column][state.rowIndex]), quantity);
        };
        state.rowCentivolts = row(kVoltageColumn, kVoltageQuantity);
        state.rowMilliamps = row(kCurrentColumn, kCurrentQuantity);
        frameCentivolts_ = state.rowCentivolts;
        frameMilliamps_ = state.rowMilliamps;
    } else {
        frameCentivolts_ = state.voltageSetpointCentivolts;
        frameMilliamps_ = state.currentSetpointMilliamps;
    }
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, state.tripMode, outputOn());
}
