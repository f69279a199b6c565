#pragma once

#include <QRegularExpression>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

// The copy of the step table a run works from: table[column][row], columns
// by position, rows 0..n with one spare row at the end.
using StepTable = QVector<QVector<QVariant>>;

// Column positions of the table: the key, then volts, amperes and seconds.
inline constexpr int kKeyColumn = 0;
inline constexpr int kVoltageColumn = 1;
inline constexpr int kCurrentColumn = 2;
inline constexpr int kHoldColumn = 3;
// Columns a run copies: those four and one spare.
inline constexpr int kRunTableColumns = 5;

// The longest hold time a row may ask for: the countdown is a 16-bit counter.
inline constexpr double kLongestHoldSeconds = 32767;

struct StepTableVerdict {
    bool ok = true;
    QString prompt;
    QString title;
    int row = -1;    // 0-based row of the refused cell
    int column = -1; // 0-based column position of the refused cell, key included
    // The prompt's English alone where the Chinese window's prompt has none.
    QString english = {};
};

// Checks the first `rows` rows, row by row and within a row voltage (0..31),
// current (0..5.1) and hold time (at most 32767 s), and stops at the first
// refused cell. A blank cell, or one that holds something other than a
// number, is refused. A table without rows is refused too, as a run needs at
// least one. The refusal is worded for the window's language.
StepTableVerdict checkStepTable(const StepTable& table, int rows, bool englishUi = false);

// A table cell as a number: empty or non-numeric cells count as 0.
double cellNumber(const QVariant& cell);

// What a step cell takes as text: empty, or an optionally negative decimal
// number with "." as the point ("12", "-3.5", ".5"), whatever the locale.
const QRegularExpression& stepCellPattern();

// A cell's text as the cell's value: null when empty, the number otherwise;
// nothing for text the cell does not take.
std::optional<QVariant> stepCellValue(const QString& text);
