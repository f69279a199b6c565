#include "window/main_window.h"

#include "platform/screen.h"
#include "window/chart_geometry.h"
#include "window/picture_box.h"

namespace {

const QColor kVoltageTrace(0, 255, 0);
const QColor kCurrentTrace(255, 0, 0);

QPointF twips(ChartPoint point) {
    return {point.x, point.y};
}

void drawGridLine(PictureBox* picture, const ChartLine& line) {
    picture->drawLine(twips(line.from), twips(line.to), picture->foreColor(), Qt::DotLine);
}

} // namespace

void MainWindow::drawEmptyCharts() {
    const float sx = view.scaleX;
    const float sy = view.scaleY;
    PictureBox* voltage = charts[0];
    PictureBox* current = charts[1];
    for (PictureBox* picture : charts) {
        picture->setTwipsPerPixel(platform_.screen->twipsPerPixelX(),
                                  platform_.screen->twipsPerPixelY());
        picture->clearDrawing();
    }
    voltage->drawText(twips(chartUnitLetterAt(sx, sy)), QStringLiteral("V"));
    current->drawText(twips(chartUnitLetterAt(sx, sy)), QStringLiteral("A"));
    // The current chart counts amperes where the voltage chart counts tens of
    // volts: the same grid, numbers a tenth as large.
    for (int g = 0; g <= kChartGridTop; g += kChartGridStep) {
        const QPointF numberAt = twips(chartValueNumberAt(g, sx, sy));
        voltage->drawText(numberAt, chartAxisNumber(g));
        current->drawText(numberAt, chartAxisNumber(g / 10));
        for (PictureBox* picture : charts) {
            drawGridLine(picture, chartHorizontalGridLine(g, sx, sy));
        }
    }
    for (int t = 0; t <= kChartColumns; t += kChartGridStep) {
        for (PictureBox* picture : charts) {
            picture->drawText(twips(chartColumnNumberAt(t, sx, sy)), chartAxisNumber(t));
            drawGridLine(picture, chartVerticalGridLine(t, sx, sy));
        }
    }
}

// Runs at the end of every display tick: draws the frame of a new sweep, ends
// a full sweep, or, while the output is on, adds one step to each trace: the
// rise or fall at the previous column, then the level up to this column. A
// second without a live reading adds nothing, and the first second after it
// adds its level only, with no edge from the value before: the trace shows
// a gap, never the last reading seen or the zeros of a lost link.
void MainWindow::chartStep() {
    const int i = view.chartIndex;
    if (i == 0) {
        drawEmptyCharts();
        view.chartIndex = 1;
        return;
    }
    if (i >= kChartColumns) {
        view.chartIndex = 0;
        return;
    }
    if (!session_.outputOn()) {
        return;
    }
    const auto plot = [&](PictureBox* picture, const std::array<double, 3>& history,
                          const QColor& colour) {
        const float previousX = chartColumnX(i - 1, view.scaleX);
        const float x = chartColumnX(i, view.scaleX);
        const float older = chartValueY(history[1], view.scaleY);
        const float newest = chartValueY(history[0], view.scaleY);
        if (view.readingLiveHistory[1]) {
            picture->drawLine({previousX, older}, {previousX, newest}, colour, Qt::SolidLine);
        }
        picture->drawLine({x, newest}, {previousX, newest}, colour, Qt::SolidLine);
    };
    if (view.readingLiveHistory[0]) {
        plot(charts[0], view.voltageHistory, kVoltageTrace);
        plot(charts[1], view.currentHistory, kCurrentTrace);
    }
    ++view.chartIndex;
}
