#include "app/main_window.h"

#include "platform/screen.h"

// The factors come from whole pixel counts, so the same screen gives exactly
// the same factors and the comparison below can be exact.
void MainWindow::measureScreen() {
    const QSize pixels = platform_.screen->sizeInPixels();
    state.scaleX = static_cast<float>(pixels.width()) / 1440.0f;
    state.scaleY = static_cast<float>(pixels.height()) / 900.0f;
}

qint16 MainWindow::screenChanged() {
    measureScreen();
    if (state.lastScaleX == state.scaleX && state.lastScaleY == state.scaleY) {
        return 0;
    }
    state.lastScaleX = state.scaleX;
    state.lastScaleY = state.scaleY;
    return -1;
}

// A new screen size lays the window out anew and restarts both charts.
void MainWindow::screenCheck() {
    if (screenChanged() == -1) {
        layOutForScreen();
        state.chartIndex = drawEmptyCharts();
    }
}
