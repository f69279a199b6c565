#include "app/form1.h"

#include "platform/dialogs.h"
#include "setting/setpoint.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

void Form1::SZDYZH(const QString& text) {
    const double x = leadingNumber(text) * 100;
    if (x > 3100 || x < 0) {
        platform_.dialogs->message(QStringLiteral("请输入4位不大于31的正数"),
                                   QStringLiteral("电压数据错误"));
        Text1->setText(state.lastVoltageText);
        return;
    }
    state.lastVoltageText = text;
    state.voltageSetpoint = toInt16HalfEven(x);
    showOnSlider(Slider1, state.voltageSetpoint);
}

void Form1::SZDLZH(const QString& text) {
    const double x = leadingNumber(text) * 1000;
    if (x > 5100 || x < 0) {
        platform_.dialogs->message(QStringLiteral("请输入4位不大于5.1的正数"),
                                   QStringLiteral("电流数据错误"));
        Text2->setText(state.lastCurrentText);
        return;
    }
    state.lastCurrentText = text;
    state.currentSetpoint = toInt16HalfEven(x);
    showOnSlider(Slider2, state.currentSetpoint);
}

// A slider shows the setpoint in force, so its next key step starts there;
// showing it is no move of the operator's and runs no handler. A thumb the
// operator holds stays where it is held.
void Form1::showOnSlider(QSlider* slider, qint16 setpoint) {
    if (slider->isSliderDown()) {
        return;
    }
    const QSignalBlocker quiet(slider);
    slider->setValue(setpoint);
}
