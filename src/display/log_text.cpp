#include "display/log_text.h"

#include <QRegularExpression>

namespace {

// Characters 1-based as the design counts them; a short text yields blanks
// rather than reading past its end.
QString chars(const QString& text, int first, int count) {
    return text.mid(first - 1, count).leftJustified(count, QLatin1Char(' '));
}

} // namespace

QString voltageReadout(const QString& digits) {
    return chars(digits, 1, 2) + QLatin1Char('.') + chars(digits, 3, 2) + QLatin1Char('V');
}

QString currentReadout(const QString& digits) {
    return chars(digits, 1, 1) + QLatin1Char('.') + chars(digits, 2, 3) + QLatin1Char('A');
}

QString timeOfDayText(const QTime& time, const QLocale& locale) {
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(zone);
    if (!format.contains(QLatin1Char('s'))) {
        format = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(time, format);
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

QString stopStamp(const QDateTime& moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    return QString::number(d.year()) + QString::number(d.month()) + QString::number(d.day()) +
           QString::number(t.hour()) + QString::number(t.minute()) + QString::number(t.second());
}
