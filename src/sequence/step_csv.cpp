#include "sequence/step_csv.h"

#include "sequence/step_table.h"
#include "setting/setpoint.h"

#include <QStringList>

#include <utility>

namespace {

constexpr int kCells = 3;

// The fields of one line; a field in double quotes may hold "," and "".
QStringList fieldsOf(const QString& line) {
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
        } else if (c == QLatin1Char(',')) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
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

StepCsvReading refusal(int line, int cell, const QString& why) {
    StepCsvReading reading;
    reading.problem = why;
    reading.line = line;
    reading.cell = cell;
    return reading;
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

StepCsvReading readStepCsv(QByteArrayView bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    StepCsvReading reading;
    QVector<int> lineOfRow;
    QVector<QStringList> cellsOfRow;
    bool firstLine = true;
    for (int index = 0; index < lines.size(); ++index) {
        QString line = lines[index];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const int number = index + 1;
        const QStringList cells = fieldsOf(line);
        if (std::exchange(firstLine, false) && isHeader(cells)) {
            continue;
        }
        if (cells.size() != kCells) {
            return refusal(
                number, int(qMin(cells.size(), qsizetype(kCells))) + 1,
                QStringLiteral("第%1行有%2格，应为3格：电压（V）、电流（A）、时间（S）。\n"
                               "Line %1 has %2 cells; three are expected: voltage "
                               "(V), current (A), hold time (s).")
                    .arg(number)
                    .arg(cells.size()));
        }
        StepRow row;
        for (int cell = 0; cell < kCells; ++cell) {
            const std::optional<QVariant> value = stepCellValue(cells[cell]);
            if (!value) {
                return refusal(number, cell + 1,
                               badCell(number, cell + 1, cells[cell], QStringLiteral("不是数字"),
                                       QStringLiteral("not a number with “.” as the point")));
            }
            // A run refuses a blank cell; the import says so in the file's terms.
            if (value->isNull()) {
                return refusal(number, cell + 1,
                               QStringLiteral("第%1行第%2格是空的。\nLine %1, cell %2 is empty.")
                                   .arg(number)
                                   .arg(cell + 1));
            }
            row[cell] = *value;
        }
        reading.rows.append(row);
        lineOfRow.append(number);
        cellsOfRow.append(cells);
    }
    if (reading.rows.isEmpty()) {
        return refusal(0, 0, QStringLiteral("文件中没有步骤。\nThe file holds no steps."));
    }
    if (reading.rows.size() > kMostSteps) {
        return refusal(
            lineOfRow[kMostSteps], 1,
            QStringLiteral("步骤超过%1行。\nThe file holds more than %1 steps.").arg(kMostSteps));
    }
    StepTable table(kRunTableColumns, QVector<QVariant>(reading.rows.size()));
    for (int row = 0; row < reading.rows.size(); ++row) {
        for (int cell = 0; cell < kCells; ++cell) {
            table[kVoltageColumn + cell][row] = reading.rows[row][cell];
        }
    }
    const StepTableVerdict verdict = checkStepTable(table, int(reading.rows.size()));
    if (!verdict.ok) {
        const int line = lineOfRow[verdict.row];
        const int cell = verdict.column - kVoltageColumn + 1;
        return refusal(line, cell,
                       rangeRefusal(line, verdict.column, cellsOfRow[verdict.row][cell - 1]));
    }
    return reading;
}

QByteArray stepCsv(const QVector<StepRow>& rows) {
    QString csv = QStringLiteral("voltage_V,current_A,hold_time_s\r\n");
    for (const StepRow& row : rows) {
        csv += cellText(row[0]) + QLatin1Char(',') + cellText(row[1]) + QLatin1Char(',') +
               cellText(row[2]) + QStringLiteral("\r\n");
    }
    return csv.toUtf8();
}
