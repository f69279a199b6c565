#include "app/form1.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"

#include <QLineEdit>
#include <QSlider>

namespace {

const QString kVoltagePrompt = QStringLiteral("请输入4位不大于31的正数");
const QString kCurrentPrompt = QStringLiteral("请输入4位不大于5.1的正数");

} // namespace

// Decides the setpoints the frame carries this tick: the current row's during
// a run, otherwise the entry boxes' once they have rested for 30 ticks.
void Form1::setpointStep() {
    if (state.runActive) {
        sequenceStep();
        state.rowVoltage = toInt16HalfEven(rowVolts_ * 100);
        if (state.rowVoltage > 3100 || state.rowVoltage < 0) {
            platform_.dialogs->message(kVoltagePrompt, QStringLiteral("表格电压数据错误"));
            state.rowVoltage = 0;
        }
        state.rowCurrent = toInt16HalfEven(rowAmperes_ * 1000);
        if (state.rowCurrent > 5100 || state.rowCurrent < 0) {
            platform_.dialogs->message(kCurrentPrompt, QStringLiteral("表格电流数据错误"));
            state.rowCurrent = 0;
        }
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

// Takes the voltage entry's text as the setpoint; false, with a message and
// the last accepted text back in the box, when it is refused.
bool Form1::takeVoltageEntry() {
    if (!Text1->text().contains(QLatin1Char('V'))) {
        Text1->setText(Text1->text() + QLatin1Char('V'));
    }
    const QString text = Text1->text();
    if (Text_err(text, QLatin1Char('V'))) {
        platform_.dialogs->message(kVoltagePrompt, QStringLiteral("设置电压数据错误"));
        Text1->setText(state.lastVoltageText);
        return false;
    }
    SZDYZH(text);
    return state.lastVoltageText == text;
}

bool Form1::takeCurrentEntry() {
    if (!Text2->text().contains(QLatin1Char('A'))) {
        Text2->setText(Text2->text() + QLatin1Char('A'));
    }
    const QString text = Text2->text();
    if (Text_err(text, QLatin1Char('A'))) {
        platform_.dialogs->message(kCurrentPrompt, QStringLiteral("设置电流数据错误"));
        Text2->setText(state.lastCurrentText);
        return false;
    }
    SZDLZH(text);
    return state.lastCurrentText == text;
}
