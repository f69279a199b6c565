#include "window/main_window.h"

#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"
#include "window/step_grid.h"

#include <QLabel>
#include <QLineEdit>

// While a run drives the output: its step marked in the grid, where it
// stands in the status bar's last panel (the version otherwise), and the
// step's setpoints in the SET entries, which show the operator's own again
// once the run is over.
void MainWindow::showRunProgress() {
    const RunProgress progress = session_.runProgress();
    const SessionState& state = session_.state;
    const bool running = progress.run.isRun();
    stepGrid->markStep(running ? progress.at.step - 1 : -1);
    statusPanels[2]->setText(running ? runProgressText(progress, state.englishUi)
                                     : versionText(state.englishUi));
    if (running) {
        showEntryText(
            kVoltageQuantity.unit,
            shortestDecimalText(state.rowCentivolts / kVoltageQuantity.frameUnitsPerUnit) +
                kVoltageQuantity.unit);
        showEntryText(kCurrentQuantity.unit,
                      shortestDecimalText(state.rowMilliamps / kCurrentQuantity.frameUnitsPerUnit) +
                          kCurrentQuantity.unit);
        entriesShowStep_ = true;
    } else if (entriesShowStep_) {
        entriesShowStep_ = false;
        showEntryText(kVoltageQuantity.unit, state.voltageEntryText);
        showEntryText(kCurrentQuantity.unit, state.currentEntryText);
    }
}
