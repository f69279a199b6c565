#include "app/main_window.h"

#include "setting/setpoint.h"

#include <QComboBox>

void MainWindow::runCountChosen() {
    const QString text = runCountList->currentText();
    if (text == QStringLiteral("x")) {
        state.runsUnlimited = true;
        return;
    }
    state.runsUnlimited = false;
    state.runsLeft = toInt16HalfEven(leadingNumber(text));
}
