#include "window/main_window.h"

#include "platform/screen.h"

// The factors come from whole pixel counts, so the same screen gives exactly
// the same factors and the comparison below can be exact.
void MainWindow::measureScreen() {
    const QSize pixels = platform_.screen->sizeInPixels();
    view.scaleX = static_cast<float>(pixels.width()) / 1440.0f;
    view.scaleY = static_cast<float>(pixels.height()) / 900.0f;
}

bool MainWindow::screenChanged() {
    measureScreen();
    if (view.lastScaleX == view.scaleX && view.lastScaleY == view.scaleY) {
        return false;
    }
    view.lastScaleX = view.scaleX;
    view.lastScaleY = view.scaleY;
    return true;
}

// A new screen size lays the window out anew and restarts both charts.
void MainWindow::screenCheck() {
    if (screenChanged()) {
        layOutForScreen();
        drawEmptyCharts();
        view.chartIndex = 1;
    }
}
