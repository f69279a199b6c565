#pragma once

// Where the charts draw, in twips of the reference layout times the layout
// factors (single precision, as the factors are). A chart value is volts x 10
// or amperes x 100; one grid division of 400 twips holds 100 value units.

inline float chartColumnX(int column, float scaleX) {
    return scaleX * static_cast<float>(700 + 80 * column);
}

inline float chartValueY(double value, float scaleY) {
    return scaleY * static_cast<float>(2500.0 - 4.0 * value);
}

inline constexpr int kChartColumns = 100;
