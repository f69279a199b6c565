#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVector>

#include <array>

// A step as the grid shows it: voltage (V), current (A), hold time (s); a
// null cell is empty.
using StepRow = std::array<QVariant, 3>;

// A run counts its rows with a 16-bit counter.
inline constexpr int kMostSteps = 32767;

struct StepCsvReading {
    QVector<StepRow> rows;
    // Why the file was refused, naming its first bad line and cell; empty
    // when every line was taken.
    QString problem;
    int line = 0; // 1-based line of the file
    int cell = 0; // 1-based cell of that line
};

// Reads a step table from CSV: three cells a line, "," between them, "." as
// the point, an optional header row, blank lines skipped, fields optionally
// in double quotes. Every cell goes through the grid's checks (what a cell
// takes, then the run's limits); one bad cell refuses the whole file.
StepCsvReading readStepCsv(QByteArrayView bytes);

// The rows as CSV with a header row: UTF-8, CR LF, numbers in their
// shortest form with "." as the point, text a cell holds quoted as needed.
QByteArray stepCsv(const QVector<StepRow>& rows);
