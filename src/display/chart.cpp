#include "app/form1.h"

#include "display/chart_geometry.h"
#include "display/picture_box.h"
#include "platform/screen.h"

namespace {

const QColor kVoltageTrace(0, 255, 0);
const QColor kCurrentTrace(255, 0, 0);

// Axis numbers carry a blank before (the place of a sign) and after.
QString axisNumber(int value) {
    return QLatin1Char(' ') + QString::number(value) + QLatin1Char(' ');
}

} // namespace

qint16 Form1::PICTUR_CH() {
    const float sx = state.scaleX;
    const float sy = state.scaleY;
    const auto at = [&](float x, float y) { return QPointF(sx * x, sy * y); };
    PictureBox* voltage = Picture1[0];
    PictureBox* current = Picture1[1];
    for (PictureBox* picture : Picture1) {
        picture->setTwipsPerPixel(platform_.screen->twipsPerPixelX(),
                                  platform_.screen->twipsPerPixelY());
        picture->clearDrawing();
    }
    voltage->drawText(at(200, 2700), QStringLiteral("V"));
    current->drawText(at(200, 2700), QStringLiteral("A"));
    for (int g = 0; g <= 50; g += 10) {
        const float y = 2500.0f - 40.0f * static_cast<float>(g);
        voltage->drawText(at(200, 2300.0f - 40.0f * static_cast<float>(g)), axisNumber(g));
        current->drawText(at(200, 2300.0f - 40.0f * static_cast<float>(g)), axisNumber(g / 10));
        for (PictureBox* picture : Picture1) {
            picture->drawLine(at(600, y), at(9000, y), picture->foreColor(), Qt::DotLine);
        }
    }
    for (int t = 0; t <= kChartColumns; t += 10) {
        const float x = 700.0f + 80.0f * static_cast<float>(t);
        for (PictureBox* picture : Picture1) {
            picture->drawText(at(600.0f + 80.0f * static_cast<float>(t), 2800), axisNumber(t));
            picture->drawLine(at(x, 2600), at(x, 400), picture->foreColor(), Qt::DotLine);
        }
    }
    return 1;
}

// One step of each trace per display tick while the output is on: the rise
// or fall at the previous column, then the level up to this column.
void Form1::chartStep() {
    const qint16 i = state.chartIndex;
    if (i == 0) {
        state.chartIndex = PICTUR_CH();
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
    plot(Picture1[0], state.voltageHistory, kVoltageTrace);
    plot(Picture1[1], state.currentHistory, kCurrentTrace);
    ++state.chartIndex;
}
