#include "window/main_window.h"

#include "setting/setpoint.h"

#include <QLabel>

// Once a second, after the session's readings: the readouts (grey while the
// reading is not live), every switchable text, and the chart.
void MainWindow::showReadings() {
    const SessionState& state = session_.state;
    view.voltageHistory[1] = view.voltageHistory[0];
    view.voltageHistory[0] = leadingNumber(state.voltageDigits) / 10;
    view.currentHistory[1] = view.currentHistory[0];
    view.currentHistory[0] = leadingNumber(state.currentDigits) / 10;
    view.readingLiveHistory[1] = view.readingLiveHistory[0];
    view.readingLiveHistory[0] = state.readingLive();
    const QColor colour = state.readingLive() ? QColor(0, 0, 255) : QColor(128, 128, 128);
    for (QLabel* readout : {voltageReadout, currentReadout}) {
        QPalette palette = readout->palette();
        palette.setColor(QPalette::WindowText, colour);
        readout->setPalette(palette);
    }
    voltageReadout->setText(state.voltageText);
    currentReadout->setText(state.currentText);
    applyLanguageTexts();
    chartStep();
}
