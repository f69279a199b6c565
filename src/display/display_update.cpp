#include "app/main_window.h"

#include "app/diagnostic_pane.h"
#include "display/log_box.h"
#include "display/log_text.h"
#include "platform/clock.h"
#include "setting/setpoint.h"

#include <QLabel>

// Once a second: readouts, the log line while the output is on, every
// switchable text, the end of a counted run, and the chart.
void MainWindow::displayUpdate() {
    diagnosticPane->printLine(state.frameText + QLatin1Char('F'));
    state.voltageText = voltageReadoutText(state.voltageDigits);
    state.currentText = currentReadoutText(state.currentDigits);
    state.voltageHistory[1] = state.voltageHistory[0];
    state.voltageHistory[0] = leadingNumber(state.voltageDigits) / 10;
    voltageReadout->setText(state.voltageText);
    state.currentHistory[1] = state.currentHistory[0];
    state.currentHistory[0] = leadingNumber(state.currentDigits) / 10;
    currentReadout->setText(state.currentText);

    if (state.outputOn) {
        const QDateTime now = platform_.clock->now();
        const QString line =
            logMeasurementLine(timeOfDayText(now.time()), state.voltageText, state.currentText);
        samples_.samples.append(sampleOf(now, state.voltageDigits, state.currentDigits,
                                         state.overCurrent, state.linkUp, frameVoltage_,
                                         frameCurrent_));
        logBox->appendText(QStringLiteral("\r\n"));
        logBox->appendText(line);
        journalLine(line, samples_.samples.last());
    }

    applyLanguageTexts();

    if (!state.runsUnlimited && state.runsLeft == 0 && state.runEndHandled == 0) {
        state.runEndHandled = stopOperation();
    }

    chartStep();
}
