#include "window/main_window.h"

#include "platform/screen.h"
#include "window/log_box.h"
#include "window/picture_box.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableView>

namespace {

// Reference geometry in twips for the 1440 x 900 screen, relative to the
// control's container; font size in points. A height of 0 lets a combo box
// follow its font; a font size of 0 leaves the font alone. The two preset
// lists lying under the entry boxes take the boxes' height: Qt's combo boxes
// are taller than the design's for the same font, and the list's own text
// would show beneath the entry box.
struct LayoutEntry {
    QWidget* control;
    int left, top, width, height;
    double points;
};

} // namespace

void MainWindow::applyLayout(float scaleX, float scaleY) {
    const std::array<LayoutEntry, 25> table = {{
        {languageList, 3120, 240, 2535, 0, 14},
        {languageCaption, 720, 240, 2175, 495, 16},
        {readoutGroup, 240, 1560, 5655, 1695, 18},
        {voltageCaption, 360, 720, 615, 450, 22},
        {voltageReadout, 960, 720, 1350, 450, 22},
        {currentCaption, 2880, 720, 495, 450, 22},
        {currentReadout, 3600, 720, 1695, 450, 22},
        {settingsGroup, 240, 3600, 5655, 7095, 18},
        {voltageEntry, 360, 840, 1575, 555, 22},
        {currentEntry, 3240, 840, 1575, 555, 22},
        {voltageStepList, 360, 840, 1935, 555, 22},
        {currentStepList, 3240, 840, 1935, 555, 22},
        {voltageSlider, 600, 1680, 600, 3135, 0},
        {currentSlider, 3480, 1680, 600, 3135, 0},
        {outputButton, 360, 5640, 1695, 615, 15},
        {overCurrentModeCaption, 2700, 5280, 2895, 375, 18},
        {overCurrentModeList, 3480, 5760, 1935, 0, 10.5},
        {charts[0], 6360, 360, 9975, 3135, 9},
        {charts[1], 6360, 3840, 9975, 3135, 9},
        {logBox, 6360, 7440, 9975, 3135, 9},
        {stepGrid, 17040, 360, 3375, 7935, 9},
        {runCountCaption, 17040, 8880, 975, 375, 10.5},
        {runCountList, 18120, 8760, 1095, 0, 10.5},
        {runButton, 19440, 8760, 975, 495, 15},
        {clearDiagnosticsButton, 1320, 840, 375, 375, 9},
    }};
    const double tppX = platform_.screen->twipsPerPixelX();
    const double tppY = platform_.screen->twipsPerPixelY();
    for (const LayoutEntry& entry : table) {
        // The products are single precision, as the layout factors are.
        const float left = scaleX * static_cast<float>(entry.left);
        const float top = scaleY * static_cast<float>(entry.top);
        const float width = scaleX * static_cast<float>(entry.width);
        if (entry.points > 0) {
            // The grid's font size is that of its cells; caption and headings
            // keep theirs.
            QWidget* lettered = entry.control == stepGrid ? stepGrid->table() : entry.control;
            QFont font = lettered->font();
            font.setPointSizeF(scaleX * static_cast<float>(entry.points));
            lettered->setFont(font);
        }
        const int height = entry.height > 0
                               ? qRound(scaleY * static_cast<float>(entry.height) / tppY)
                               : entry.control->sizeHint().height();
        entry.control->setGeometry(qRound(left / tppX), qRound(top / tppY), qRound(width / tppX),
                                   height);
    }
}

void MainWindow::layOutForScreen() {
    measureScreen();
    applyLayout(view.scaleX, view.scaleY);
}
