#include "app/main_window.h"

#include "display/chart_geometry.h"
#include "display/picture_box.h"
#include "platform/screen.h"

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

qint16 MainWindow::drawEmptyCharts() {
    const float sx = state.scaleX;
    const float sy = state.scaleY;
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
    return 1;
}

// Runs at the end of every display tick: draws the frame of a new sweep, ends
// a full sweep, or, while the output is on, adds one step to each trace: the
// rise or fall at the previous column, then the level up to this column.
void MainWindow::chartStep() {
    const qint16 i = state.chartIndex;
    if (i == 0) {
        state.chartIndex = drawEmptyCharts();
        return;
    }
    if (i >= kChartColumns) {
        state.chartIndex = 0;
        return;
    }
    if (!state.outputOn) {
        return;
    }
    const auto plot = [&](PictureBox* picture, const std::array<double, 3>& history,
                          const QColor& colour) {
        const float previousX = chartColumnX(i - 1, state.scaleX);
        const float x = chartColumnX(i, state.scaleX);
        const float older = chartValueY(history[1], state.scaleY);
        const float newest = chartValueY(history[0], state.scaleY);
        picture->drawLine({previousX, older}, {previousX, newest}, colour, Qt::SolidLine);
        picture->drawLine({x, newest}, {previousX, newest}, colour, Qt::SolidLine);
    };
    plot(charts[0], state.voltageHistory, kVoltageTrace);
    plot(charts[1], state.currentHistory, kCurrentTrace);
    ++state.chartIndex;
}
