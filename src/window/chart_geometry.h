#pragma once

#include <QString>

// Where the charts draw, in twips: a position on the 1440 x 900 reference
// layout times the layout factors, in single precision as the factors are.
// A chart value is volts x 10 or amperes x 100; one grid division of 400
// twips holds 100 value units (10 V, 1 A).

struct ChartPoint {
    float x;
    float y;
};

struct ChartLine {
    ChartPoint from;
    ChartPoint to;
};

// Columns 0..100; a sweep plots columns 1..99, each from the column before.
inline constexpr int kChartColumns = 100;
// Grid values 0..50 (0..50 V, 0..5 A) and columns 0..100, one line every 10.
inline constexpr int kChartGridTop = 50;
inline constexpr int kChartGridStep = 10;

inline float chartColumnX(int column, float scaleX) {
    return scaleX * static_cast<float>(700 + 80 * column);
}

inline float chartValueY(double value, float scaleY) {
    return scaleY * (2500.0f - 4.0f * static_cast<float>(value));
}

inline ChartLine chartHorizontalGridLine(int gridValue, float scaleX, float scaleY) {
    const float y = scaleY * static_cast<float>(2500 - 40 * gridValue);
    return {{scaleX * 600.0f, y}, {scaleX * 9000.0f, y}};
}

// From below the zero line up past the top grid line.
inline ChartLine chartVerticalGridLine(int column, float scaleX, float scaleY) {
    const float x = chartColumnX(column, scaleX);
    return {{x, scaleY * 2600.0f}, {x, scaleY * 400.0f}};
}

// Top-left corners of the texts: the value numbers left of the grid, standing
// on their lines; the column numbers under the grid; the unit letter below
// the value numbers.
inline ChartPoint chartValueNumberAt(int gridValue, float scaleX, float scaleY) {
    return {scaleX * 200.0f, scaleY * static_cast<float>(2300 - 40 * gridValue)};
}

inline ChartPoint chartColumnNumberAt(int column, float scaleX, float scaleY) {
    return {scaleX * static_cast<float>(600 + 80 * column), scaleY * 2800.0f};
}

inline ChartPoint chartUnitLetterAt(float scaleX, float scaleY) {
    return {scaleX * 200.0f, scaleY * 2700.0f};
}

// An axis number as drawn: a blank where a sign would go, the whole number,
// and a blank after it.
inline QString chartAxisNumber(int value) {
    return QLatin1Char(' ') + QString::number(value) + QLatin1Char(' ');
}
