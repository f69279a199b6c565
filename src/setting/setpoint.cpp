#include "setting/setpoint.h"

#include <QLocale>

#include <cmath>
#include <limits>

double leadingNumber(const QString& text) {
    QString number;
    bool seenPoint = false;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            number += c;
        } else {
            break;
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

double roundHalfEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5) {
        return below + 1;
    }
    if (fraction < 0.5) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1;
}

qint16 toInt16HalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double rounded = roundHalfEven(value);
    if (rounded > std::numeric_limits<qint16>::max()) {
        return std::numeric_limits<qint16>::max();
    }
    if (rounded < std::numeric_limits<qint16>::min()) {
        return std::numeric_limits<qint16>::min();
    }
    return static_cast<qint16>(rounded);
}

QString shortestDecimalText(double value) {
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

bool isRefusedEntryText(const QString& text, QChar unit) {
    if (text.size() > 6) {
        return true;
    }
    const qsizetype unitAt = text.indexOf(unit);
    if (!text.isEmpty() && unitAt != text.size() - 1) {
        return true;
    }
    int points = 0;
    int units = 0;
    for (const QChar c : text) {
        if (c == unit) {
            ++units;
        } else if (c == QLatin1Char('.')) {
            ++points;
        } else if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return true;
        }
    }
    return points > 1 || units > 1;
}
