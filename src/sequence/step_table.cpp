#include "sequence/step_table.h"

namespace {

StepTableVerdict refusedCell(int row, int column, const char* limit, const char* title) {
    return {false,
            QStringLiteral("第%1行第%2列数据错误；请输入4位不大于%3的正数")
                .arg(row + 1)
                .arg(column + 1)
                .arg(QString::fromLatin1(limit)),
            QString::fromUtf8(title), row, column};
}

// Whether a cell lies outside [0, limit]; empty cells compare as nothing.
bool outOfRange(const QVariant& cell, double limit) {
    if (cell.isNull() || (cell.typeId() == QMetaType::QString && cell.toString().isEmpty())) {
        return false;
    }
    bool numeric = false;
    const double value = cell.toDouble(&numeric);
    return !numeric || value > limit || value < 0;
}

} // namespace

StepTableVerdict checkStepTable(const StepTable& table, int rows) {
    if (rows <= 0) {
        return {false,
                QStringLiteral("步骤表中没有数据，请先在表格中输入电压、电流和时间。\n"
                               "The step table is empty: enter voltage, current and time first."),
                QStringLiteral("Velkor"), -1, -1};
    }
    for (int row = 0; row < rows; ++row) {
        if (table.size() > 1 && row < table[1].size() && outOfRange(table[1][row], 31)) {
            return refusedCell(row, 1, "31", "电压数据错误");
        }
        if (table.size() > 2 && row < table[2].size() && outOfRange(table[2][row], 5.1)) {
            return refusedCell(row, 2, "5.1", "电流数据错误");
        }
    }
    return {};
}

double cellNumber(const QVariant& cell) {
    bool numeric = false;
    const double value = cell.toDouble(&numeric);
    return numeric ? value : 0.0;
}
