#include "app/form1.h"

#include "setting/setpoint.h"

#include <QComboBox>

void Form1::Combo5_Click() {
    const QString text = Combo5->currentText();
    if (text == QStringLiteral("x")) {
        state.runsUnlimited = true;
        return;
    }
    state.runsUnlimited = false;
    state.runsLeft = toInt16HalfEven(leadingNumber(text));
}
