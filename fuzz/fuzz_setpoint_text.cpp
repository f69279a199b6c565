// An entry text through what the window does with it: the check of its form,
// its leading number, the scaling and rounding into a setpoint, and the text
// a slider would write for that value. Traps when a promise is broken.

#include "setting/setpoint.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

void checkEntry(const QString& text, QChar unit, double scale) {
    if (isRefusedEntryText(text, unit))
        return;
    require(text.size() <= 6);
    require(text.isEmpty() || text.back() == unit);
    const double value = leadingNumber(text);
    require(std::isfinite(value) && value >= 0 && value < 1e6);
    const double scaled = value * scale;
    const double rounded = roundHalfEven(scaled);
    require(rounded == std::floor(rounded));
    require(std::fabs(rounded - scaled) <= 0.5);
    const qint16 setpoint = toInt16HalfEven(scaled);
    require(setpoint >= 0);
    // What a slider writes reads back as the same number.
    require(leadingNumber(shortestDecimalText(value)) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    checkEntry(text, QLatin1Char('V'), 100);
    checkEntry(text, QLatin1Char('A'), 1000);
    const double anything = leadingNumber(text);
    require(std::isfinite(anything) && anything >= 0);
    const qint16 saturated = toInt16HalfEven(anything * 1000);
    require(saturated >= 0);
    return 0;
}
