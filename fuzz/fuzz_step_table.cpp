// Random step tables through the checks a run start makes. Each input byte
// string becomes rows of (voltage, current, hold time) cells that are empty,
// numbers or texts. Traps when the verdict disagrees with what the cells
// hold, or when a table that passes would hand the run a value it cannot use.

#include "sequence/step_table.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    double number() {
        double value = 0;
        uint8_t raw[sizeof value] = {};
        for (uint8_t& b : raw)
            b = byte();
        std::memcpy(&value, raw, sizeof value);
        return value;
    }
    QVariant cell() {
        switch (byte() % 4) {
        case 0:
            return {};
        case 1:
            return number();
        case 2:
            return double(int8_t(byte())) / 4.0;
        default: {
            QByteArray text;
            for (int n = byte() % 8; n > 0; --n)
                text.append(char(byte()));
            return QString::fromLatin1(text);
        }
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

bool isEmpty(const QVariant& cell) {
    return cell.isNull() || cell.toString().trimmed().isEmpty();
}

// Whether a cell holds a usable value up to the limit, judged here on its own.
// A blank cell is not: it is what the grid keeps of text it could not take.
bool usable(const QVariant& cell, double low, double high) {
    if (isEmpty(cell))
        return false;
    bool numeric = false;
    const double value = cell.toDouble(&numeric);
    return numeric && std::isfinite(value) && value >= low && value <= high;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const int rows = in.byte() % 6;
    StepTable table(5, QVector<QVariant>(rows + 1));
    for (int row = 0; row < rows; ++row)
        for (int column = 1; column <= 3; ++column)
            table[column][row] = in.cell();

    const StepTableVerdict verdict = checkStepTable(table, rows);
    const auto cellUsable = [&](int row, int column) {
        switch (column) {
        case 1:
            return usable(table[1][row], 0, 31);
        case 2:
            return usable(table[2][row], 0, 5.1);
        default:
            return usable(table[3][row], -INFINITY, kLongestHoldSeconds);
        }
    };
    if (verdict.ok) {
        require(rows > 0);
        for (int row = 0; row < rows; ++row) {
            for (int column = 1; column <= 3; ++column) {
                require(cellUsable(row, column));
                require(std::isfinite(cellNumber(table[column][row])));
            }
        }
        return 0;
    }
    require(!verdict.prompt.isEmpty() && !verdict.title.isEmpty());
    if (rows == 0)
        return 0;
    require(verdict.row >= 0 && verdict.row < rows);
    require(verdict.column >= 1 && verdict.column <= 3);
    require(!cellUsable(verdict.row, verdict.column));
    // Everything before the refused cell passed.
    for (int row = 0; row <= verdict.row; ++row)
        for (int column = 1; column <= 3 && (row < verdict.row || column < verdict.column);
             ++column)
            require(cellUsable(row, column));
    return 0;
}
