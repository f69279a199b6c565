#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

// The copy of the step table a run works from: table[column][row], columns
// 0..4 by position (1 voltage in V, 2 current in A, 3 hold time in s), rows
// 0..n with one spare row at the end.
using StepTable = QVector<QVector<QVariant>>;

// The longest hold time a row may ask for: the countdown is a 16-bit counter.
inline constexpr double kLongestHoldSeconds = 32767;

struct StepTableVerdict {
    bool ok = true;
    QString prompt;
    QString title;
    int row = -1;    // 0-based row of the refused cell
    int column = -1; // 0-based column position of the refused cell
};

// Checks the first `rows` rows, row by row and within a row voltage (0..31),
// current (0..5.1) and hold time (at most 32767 s), and stops at the first
// refused cell. An empty cell passes (it runs as 0); a cell that holds
// something other than a number is refused. A table without rows is refused
// too, as a run needs at least one.
StepTableVerdict checkStepTable(const StepTable& table, int rows);

// A table cell as a number: empty or non-numeric cells count as 0.
double cellNumber(const QVariant& cell);
