#include "sequence/step_csv.h"

#include "sequence/step_table.h"
#include "setting/setpoint.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

constexpr int kCells = 3;
constexpr qsizetype kLongestLineBytes = 1024;

// The fields of one line; a field in double quotes may hold the separator
// and "".
QStringList fieldsOf(const QString& line, QChar separator) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() &&
                line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == separator) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

// A tab outside quotes makes tab the separator, as a spreadsheet's "text"
// export writes; else a ";" makes ";" the separator, as a spreadsheet writes
// CSV where "," is the decimal point; "," otherwise.
QChar separatorOf(const QString& line) {
    bool quoted = false;
    bool semicolon = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char('\t') && !quoted) {
            return QLatin1Char('\t');
        } else if (c == QLatin1Char(';') && !quoted) {
            semicolon = true;
        }
    }
    return semicolon ? QLatin1Char(';') : QLatin1Char(',');
}

// A spreadsheet writes empty cells up to the widest row it ever held
// ("5;1;3;;"); they are no part of a step. An empty cell within the three
// stays, to be refused as blank.
void dropTrailingEmptyCells(QStringList& cells) {
    while (cells.size() > kCells && cells.constLast().isEmpty()) {
        cells.removeLast();
    }
}

bool allEmpty(const QStringList& cells) {
    return std::all_of(cells.begin(), cells.end(),
                       [](const QString& cell) { return cell.isEmpty(); });
}

// How the file was read, for a refusal: a file that was not what the reader
// took it for shows why its lines make no sense.
QString readingAssumed(StepCsvEncoding encoding, QChar separator) {
    static const char* const kEncodings[] = {"UTF-8", "UTF-8 (BOM)", "UTF-16 LE (BOM)",
                                             "UTF-16 BE (BOM)"};
    const QString name = QLatin1String(kEncodings[int(encoding)]);
    if (separator == QLatin1Char('\t')) {
        return QStringLiteral("按 %1 读取，各格以制表符分隔，小数点为“,”或“.”。\n"
                              "Read as %1, cells separated by tabs, “,” or “.” as the "
                              "decimal point.")
            .arg(name);
    }
    if (separator == QLatin1Char(';')) {
        return QStringLiteral("按 %1 读取，各格以分号“;”分隔，小数点为“,”或“.”。\n"
                              "Read as %1, cells separated by semicolons, “,” or “.” as the "
                              "decimal point.")
            .arg(name);
    }
    return QStringLiteral("按 %1 读取，各格以逗号“,”分隔，小数点为“.”。\n"
                          "Read as %1, cells separated by commas, “.” as the decimal point.")
        .arg(name);
}

// A header names the columns: every cell holds something, and none starts
// the way a number does, so a data line with a stray unit is still checked.
bool isHeader(const QStringList& cells) {
    for (const QString& cell : cells) {
        if (cell.isEmpty() || cell.front().isDigit() || cell.front() == QLatin1Char('-') ||
            cell.front() == QLatin1Char('+') || cell.front() == QLatin1Char('.')) {
            return false;
        }
    }
    return true;
}

QString badCell(int line, int cell, const QString& text, const QString& chinese,
                const QString& english) {
    return QStringLiteral("第%1行第%2格“%3”%4。\nLine %1, cell %2 (“%3”): %5.")
        .arg(line)
        .arg(cell)
        .arg(text, chinese, english);
}

QString rangeRefusal(int line, int column, const QString& text) {
    switch (column) {
    case kVoltageColumn:
        return badCell(line, 1, text, QStringLiteral("不是0到31之间的电压（V）"),
                       QStringLiteral("the voltage must lie between 0 and 31 V"));
    case kCurrentColumn:
        return badCell(line, 2, text, QStringLiteral("不是0到5.1之间的电流（A）"),
                       QStringLiteral("the current must lie between 0 and 5.1 A"));
    default:
        return badCell(line, 3, text, QStringLiteral("超过32767秒"),
                       QStringLiteral("the hold time must not be above 32767 s"));
    }
}

QString cellText(const QVariant& cell) {
    if (cell.isNull()) {
        return {};
    }
    bool numeric = false;
    const double number = cell.toDouble(&numeric);
    if (cell.typeId() != QMetaType::QString && numeric) {
        return shortestDecimalText(number);
    }
    QString text = cell.toString();
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
        text != text.trimmed()) {
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    }
    return text;
}

} // namespace

StepCsvReader::StepCsvReader(QByteArray bytes) : bytes_(std::move(bytes)) {
    if (bytes_.startsWith("\xEF\xBB\xBF")) {
        reading_.encoding = StepCsvEncoding::Utf8WithBom;
        position_ = 3;
    } else if (bytes_.startsWith("\xFF\xFE")) {
        reading_.encoding = StepCsvEncoding::Utf16LittleEndian;
        unitBytes_ = position_ = 2;
    } else if (bytes_.startsWith("\xFE\xFF")) {
        reading_.encoding = StepCsvEncoding::Utf16BigEndian;
        unitBytes_ = position_ = 2;
    }
}

qsizetype StepCsvReader::lineFeedFrom(qsizetype from) const {
    if (unitBytes_ == 1) {
        return bytes_.indexOf('\n', from);
    }
    const QByteArrayView lineFeed = reading_.encoding == StepCsvEncoding::Utf16LittleEndian
                                        ? QByteArrayView("\n\0", 2)
                                        : QByteArrayView("\0\n", 2);
    // Only a whole character is a line feed, not the halves of two.
    qsizetype at = bytes_.indexOf(lineFeed, from);
    while (at >= 0 && (at - from) % 2 != 0) {
        at = bytes_.indexOf(lineFeed, at + 1);
    }
    return at;
}

QString StepCsvReader::decodeLine(qsizetype from, qsizetype bytes) const {
    const QByteArrayView line = QByteArrayView(bytes_).sliced(from, bytes);
    switch (reading_.encoding) {
    case StepCsvEncoding::Utf16LittleEndian:
        return QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless)
            .decode(line);
    case StepCsvEncoding::Utf16BigEndian:
        return QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless)
            .decode(line);
    default:
        return QString::fromUtf8(line);
    }
}

void StepCsvReader::refuse(int line, int cell, const QString& why) {
    const StepCsvEncoding encoding = reading_.encoding;
    const QChar separator = reading_.separator;
    reading_ = {};
    reading_.problem = why + QStringLiteral("\n\n") + readingAssumed(encoding, separator);
    reading_.line = line;
    reading_.cell = cell;
    reading_.encoding = encoding;
    reading_.separator = separator;
    done_ = true;
}

bool StepCsvReader::read(qsizetype bytes) {
    if (done_) {
        return true;
    }
    const qsizetype firstRow = reading_.rows.size();
    QVector<int> lineOfRow;
    QVector<QStringList> cellsOfRow;
    for (const qsizetype stop = position_ + bytes; position_ < stop && !endReached_;) {
        const qsizetype lineEnd = lineFeedFrom(position_);
        endReached_ = lineEnd < 0;
        const qsizetype next = endReached_ ? bytes_.size() : lineEnd + unitBytes_;
        const qsizetype lineBytes = (endReached_ ? next : lineEnd) - position_;
        const int number = ++lineNumber_;
        if (lineBytes > kLongestLineBytes) {
            refuse(number, 1,
                   QStringLiteral("第%1行超过%2字节，不是步骤。\nLine %1 is longer than %2 bytes; "
                                  "it is no step.")
                       .arg(number)
                       .arg(kLongestLineBytes));
            return true;
        }
        QString line = decodeLine(position_, lineBytes);
        position_ = next;
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (!std::exchange(separatorKnown_, true)) {
            reading_.separator = separatorOf(line);
        }
        // Only a comma separator leaves "." the one decimal point.
        const bool decimalCommas = reading_.separator != QLatin1Char(',');
        QStringList cells = fieldsOf(line, reading_.separator);
        dropTrailingEmptyCells(cells);
        if (allEmpty(cells)) {
            continue;
        }
        if (std::exchange(headerPossible_, false) && isHeader(cells)) {
            continue;
        }
        if (cells.size() != kCells) {
            refuse(number, int(qMin(cells.size(), qsizetype(kCells))) + 1,
                   QStringLiteral("第%1行有%2格，应为3格：电压（V）、电流（A）、时间（S）。\n"
                                  "Line %1 has %2 cells; three are expected: voltage "
                                  "(V), current (A), hold time (s).")
                       .arg(number)
                       .arg(cells.size()));
            return true;
        }
        StepRow row;
        for (int cell = 0; cell < kCells; ++cell) {
            const std::optional<QVariant> value = stepCellValue(
                decimalCommas ? QString(cells[cell]).replace(QLatin1Char(','), QLatin1Char('.'))
                              : cells[cell]);
            if (!value) {
                refuse(number, cell + 1,
                       badCell(number, cell + 1, cells[cell], QStringLiteral("不是数字"),
                               QStringLiteral("not a number")));
                return true;
            }
            // A run refuses a blank cell; the import says so in the file's terms.
            if (value->isNull()) {
                refuse(number, cell + 1,
                       QStringLiteral("第%1行第%2格是空的。\nLine %1, cell %2 is empty.")
                           .arg(number)
                           .arg(cell + 1));
                return true;
            }
            row[cell] = *value;
        }
        if (++stepCount_ > kMostSteps) {
            if (lineOfFirstExtraStep_ == 0) {
                lineOfFirstExtraStep_ = number;
            }
            continue;
        }
        reading_.rows.append(row);
        lineOfRow.append(number);
        cellsOfRow.append(cells);
    }
    checkLimits(firstRow, lineOfRow, cellsOfRow);
    if (endReached_) {
        finish();
    }
    return done_;
}

void StepCsvReader::checkLimits(qsizetype firstRow, const QVector<int>& lines,
                                const QVector<QStringList>& cells) {
    if (!limitRefusal_.problem.isEmpty() || lines.isEmpty()) {
        return;
    }
    StepTable table(kRunTableColumns, QVector<QVariant>(lines.size()));
    for (qsizetype row = 0; row < lines.size(); ++row) {
        for (int cell = 0; cell < kCells; ++cell) {
            table[kVoltageColumn + cell][row] = reading_.rows[firstRow + row][cell];
        }
    }
    const StepTableVerdict verdict = checkStepTable(table, int(lines.size()));
    if (verdict.ok) {
        return;
    }
    const int line = lines[verdict.row];
    const int cell = verdict.column - kVoltageColumn + 1;
    limitRefusal_.problem = rangeRefusal(line, verdict.column, cells[verdict.row][cell - 1]);
    limitRefusal_.line = line;
    limitRefusal_.cell = cell;
}

void StepCsvReader::finish() {
    done_ = true;
    if (stepCount_ == 0) {
        refuse(0, 0, QStringLiteral("文件中没有步骤。\nThe file holds no steps."));
    } else if (stepCount_ > kMostSteps) {
        refuse(
            lineOfFirstExtraStep_, 1,
            QStringLiteral("步骤超过%1行。\nThe file holds more than %1 steps.").arg(kMostSteps));
    } else if (!limitRefusal_.problem.isEmpty()) {
        refuse(limitRefusal_.line, limitRefusal_.cell, limitRefusal_.problem);
    }
}

QByteArray stepCsvHeader() {
    return QByteArrayLiteral("voltage_V,current_A,hold_time_s\r\n");
}

QByteArray stepCsvLine(const StepRow& row) {
    return (cellText(row[0]) + QLatin1Char(',') + cellText(row[1]) + QLatin1Char(',') +
            cellText(row[2]) + QStringLiteral("\r\n"))
        .toUtf8();
}
