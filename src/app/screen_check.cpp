#include "app/form1.h"

#include "platform/screen.h"

// The factors come from whole pixel counts, so the same screen gives exactly
// the same factors and the comparison below can be exact.
void Form1::measureScreen() {
    const QSize pixels = platform_.screen->sizeInPixels();
    state.scaleX = static_cast<float>(pixels.width()) / 1440.0f;
    state.scaleY = static_cast<float>(pixels.height()) / 900.0f;
}

qint16 Form1::FBL_PD() {
    measureScreen();
    if (state.lastScaleX == state.scaleX && state.lastScaleY == state.scaleY) {
        return 0;
    }
    state.lastScaleX = state.scaleX;
    state.lastScaleY = state.scaleY;
    return -1;
}

// A new screen size lays the window out anew and restarts both charts.
void Form1::screenCheck() {
    if (FBL_PD() == -1) {
        FBL_REV();
        state.chartIndex = PICTUR_CH();
    }
}
