#include "record/log_text.h"

#include "app/version.h"

#include <QList>

namespace {

// Characters 1-based as the design counts them; a short text yields blanks
// rather than reading past its end.
QString chars(const QString& text, int first, int count) {
    return text.mid(first - 1, count).leftJustified(count, QLatin1Char(' '));
}

// One piece of a time format: a field ("HH", "ap", "t"), a quoted text, or
// one literal character.
struct FormatPiece {
    QString text;
    bool field = false;
    bool zone = false;
};

QList<FormatPiece> formatPieces(const QString& format) {
    static const QString fieldLetters = QStringLiteral("hHmszaAt");
    QList<FormatPiece> pieces;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype end = i + 1;
        if (c == QLatin1Char('\'')) {
            end = format.indexOf(QLatin1Char('\''), i + 1);
            end = end < 0 ? format.size() : end + 1;
            pieces.append({format.mid(i, end - i)});
        } else if (fieldLetters.contains(c)) {
            while (end < format.size() && format.at(end) == c) {
                ++end;
            }
            // "AP" and "ap" are one field.
            if ((c == QLatin1Char('a') || c == QLatin1Char('A')) && end < format.size() &&
                format.at(end).toLower() == QLatin1Char('p')) {
                ++end;
            }
            pieces.append({format.mid(i, end - i), true, c == QLatin1Char('t')});
        } else {
            pieces.append({QString(c)});
        }
        i = end;
    }
    return pieces;
}

// Blanks, brackets and commas around a time zone belong to it.
bool isZoneFrame(const FormatPiece& piece) {
    static const QString frames = QStringLiteral("()[]{},\uFF08\uFF09\uFF0C\u060C");
    return !piece.field && piece.text.size() == 1 &&
           (piece.text.at(0).isSpace() || frames.contains(piece.text.at(0)));
}

} // namespace

// Drops the time zone from a time format, with the blanks, brackets and
// commas that frame it, and keeps one blank between the fields it stood
// between: "H:mm:ss (t)" gives "H:mm:ss", "h:mm:ss AP t" gives "h:mm:ss AP".
QString withoutTimeZone(const QString& format) {
    QList<FormatPiece> pieces = formatPieces(format);
    for (qsizetype i = 0; i < pieces.size();) {
        if (!pieces.at(i).zone) {
            ++i;
            continue;
        }
        qsizetype first = i;
        qsizetype last = i;
        while (first > 0 && isZoneFrame(pieces.at(first - 1))) {
            --first;
        }
        while (last + 1 < pieces.size() && isZoneFrame(pieces.at(last + 1))) {
            ++last;
        }
        const bool between = first > 0 && last + 1 < pieces.size() && (last > i || first < i);
        pieces.remove(first, last - first + 1);
        if (between) {
            pieces.insert(first, {QStringLiteral(" ")});
        }
        i = first;
    }
    while (!pieces.isEmpty() && isZoneFrame(pieces.first())) {
        pieces.removeFirst();
    }
    while (!pieces.isEmpty() && isZoneFrame(pieces.last())) {
        pieces.removeLast();
    }
    QString result;
    for (const FormatPiece& piece : pieces) {
        result += piece.text;
    }
    return result;
}

QString voltageReadoutText(const QString& digits) {
    return chars(digits, 1, 2) + QLatin1Char('.') + chars(digits, 3, 2) + QLatin1Char('V');
}

QString currentReadoutText(const QString& digits) {
    return chars(digits, 1, 1) + QLatin1Char('.') + chars(digits, 2, 3) + QLatin1Char('A');
}

QString timeOfDayText(const QTime& time, const QLocale& locale) {
    QString format = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    if (!format.contains(QLatin1Char('s'))) {
        format = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(time, format);
}

QString logHeader() {
    return QStringLiteral("Velkor\r\nVersion: %1\r\n").arg(QLatin1String(kProgramVersion));
}

QString logStartLine(const QDateTime& moment, const QString& timeOfDay) {
    const QDate date = moment.date();
    return QStringLiteral("%1-%2-%3   %4")
        .arg(date.year())
        .arg(date.month())
        .arg(date.day())
        .arg(timeOfDay);
}

QString logMeasurementLine(const QString& timeOfDay, const QString& voltageText,
                           const QString& currentText) {
    const QString gap(10, QLatin1Char(' '));
    return timeOfDay + gap + voltageText + gap + currentText;
}

QString logSecondLine(const QString& timeOfDay, const QString& voltageDigits,
                      const QString& currentDigits, bool hasReading) {
    // Dashes in the digits' places, laid out as the digits would be.
    const QString noDigits(4, QLatin1Char('-'));
    return logMeasurementLine(timeOfDay, voltageReadoutText(hasReading ? voltageDigits : noDigits),
                              currentReadoutText(hasReading ? currentDigits : noDigits));
}

QString stopStamp(const QDateTime& moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    return QString::number(d.year()) + QString::number(d.month()) + QString::number(d.day()) +
           QString::number(t.hour()) + QString::number(t.minute()) + QString::number(t.second());
}
