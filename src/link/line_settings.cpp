#include "link/line_settings.h"

#include <QList>

#include <optional>

namespace {

std::optional<LineSettings::Parity> parityFromLetter(QStringView letter) {
    if (letter.compare(u"N", Qt::CaseInsensitive) == 0)
        return LineSettings::Parity::None;
    if (letter.compare(u"E", Qt::CaseInsensitive) == 0)
        return LineSettings::Parity::Even;
    if (letter.compare(u"O", Qt::CaseInsensitive) == 0)
        return LineSettings::Parity::Odd;
    return std::nullopt;
}

std::optional<LineSettings::StopBits> stopBitsFromText(QStringView text) {
    if (text == u"1")
        return LineSettings::StopBits::One;
    if (text == u"1.5")
        return LineSettings::StopBits::OneAndHalf;
    if (text == u"2")
        return LineSettings::StopBits::Two;
    return std::nullopt;
}

} // namespace

LineSettings parseLineSettings(QStringView settings) {
    LineSettings parsed;
    const QList<QStringView> fields = settings.split(u',');

    bool ok = false;
    const int baudRate = fields.value(0).trimmed().toInt(&ok);
    if (ok && baudRate > 0)
        parsed.baudRate = baudRate;

    if (const auto parity = parityFromLetter(fields.value(1).trimmed()))
        parsed.parity = *parity;

    const int dataBits = fields.value(2).trimmed().toInt(&ok);
    if (ok && dataBits >= 5 && dataBits <= 8)
        parsed.dataBits = dataBits;

    if (const auto stopBits = stopBitsFromText(fields.value(3).trimmed()))
        parsed.stopBits = *stopBits;

    return parsed;
}
