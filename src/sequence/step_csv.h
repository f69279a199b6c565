#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <array>

// A step as the grid shows it: voltage (V), current (A), hold time (s); a
// null cell is empty.
using StepRow = std::array<QVariant, 3>;

// A run counts its rows with a 16-bit counter.
inline constexpr int kMostSteps = 32767;

// How a step-table CSV file is written, as the reader takes it.
enum class StepCsvEncoding { Utf8, Utf8WithBom, Utf16LittleEndian, Utf16BigEndian };

struct StepCsvReading {
    QVector<StepRow> rows;
    // Why the file was refused, naming its first bad line and cell and how
    // the file was read; empty when every line was taken.
    QString problem;
    int line = 0; // 1-based line of the file
    int cell = 0; // 1-based cell of that line
    StepCsvEncoding encoding = StepCsvEncoding::Utf8;
    QChar separator = QLatin1Char(',');
};

// Reads a step table from CSV as spreadsheets save it: UTF-8 with or without
// a byte-order mark, or UTF-16 of either byte order with one (a
// spreadsheet's "Unicode text"); three cells a line, separated by what the
// first line that holds anything has: a tab, else a ";", else ",". Beside a
// tab or a ";", "," or "." is the decimal point. An optional header row;
// blank lines, lines of empty cells and empty cells after the third skipped;
// fields optionally in double quotes. Every cell goes
// through the grid's checks (what a cell takes, then the run's limits); one
// bad cell refuses the whole file. The file is read a few lines at a time,
// so that a long one never holds the window's thread, which also sends the
// supply its frames; for the same reason a line longer than 1024 bytes,
// which no step needs, is refused.
class StepCsvReader {
public:
    explicit StepCsvReader(QByteArray bytes);

    // Reads whole lines until at least `bytes` more bytes of the file are
    // read; true once it is read to its end or refused.
    bool read(qsizetype bytes);
    // The steps, or why the file is refused; whole once read() is true.
    const StepCsvReading& reading() const { return reading_; }

private:
    // Where the line that begins at `from` ends: the offset of its line
    // feed, or -1 when it runs to the end of the file.
    qsizetype lineFeedFrom(qsizetype from) const;
    QString decodeLine(qsizetype from, qsizetype bytes) const;
    void refuse(int line, int cell, const QString& why);
    // Checks the run's limits on the rows read since `firstRow`, unless an
    // earlier row broke them already.
    void checkLimits(qsizetype firstRow, const QVector<int>& lines,
                     const QVector<QStringList>& cells);
    void finish();

    QByteArray bytes_;
    // Bytes of a character of the encoding: 1 for UTF-8, 2 for UTF-16.
    qsizetype unitBytes_ = 1;
    // Set by the first line that holds anything.
    bool separatorKnown_ = false;
    qsizetype position_ = 0;
    bool endReached_ = false;
    int lineNumber_ = 0;
    bool headerPossible_ = true;
    // Rows beyond the most a run takes are counted, not kept: only the line
    // of the first of them is named.
    int stepCount_ = 0;
    int lineOfFirstExtraStep_ = 0;
    // A cell beyond the run's limits is named only when no line of the file
    // is malformed, as a malformed line anywhere refuses the file first.
    StepCsvReading limitRefusal_;
    bool done_ = false;
    StepCsvReading reading_;
};

// The first line of a step-table CSV file, naming its columns.
QByteArray stepCsvHeader();
// A step as a line of a step-table CSV file: UTF-8, CR LF, numbers in their
// shortest form with "." as the point, text a cell holds quoted as needed.
QByteArray stepCsvLine(const StepRow& row);
