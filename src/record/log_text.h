#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Texts of the readouts, the measurement log and the record file names.

// "1234" shows as "12.34V": the supply's digits exactly as they came.
QString voltageReadoutText(const QString& digits);
// "1234" shows as "1.234A".
QString currentReadoutText(const QString& digits);

// The time of day in the system's format, with hours, minutes and seconds
// (and AM/PM where the format has it) but without a time zone.
QString timeOfDayText(const QTime& time, const QLocale& locale = QLocale::system());
// A time format without its time zone and the punctuation around it.
QString withoutTimeZone(const QString& format);

// The first two lines of the log: the product and its version.
QString logHeader();

// Third line of the log header: "2026-3-7   05:02:58".
QString logStartLine(const QDateTime& moment, const QString& timeOfDay);

// One measurement line: time, 10 blanks, voltage, 10 blanks, current.
QString logMeasurementLine(const QString& timeOfDay, const QString& voltageText,
                           const QString& currentText);

// The log's line of one second. Its readings show as the readouts show the
// supply's digits, but only when the second has a live reading; otherwise
// every digit is a dash ("--.--V", "-.---A"), so the line keeps its layout
// and the last reading seen, or the zeros of a lost link, never stand in
// the record as a measurement.
QString logSecondLine(const QString& timeOfDay, const QString& voltageDigits,
                      const QString& currentDigits, bool hasReading);

// Year, month, day, hour, minute, second without padding or separators:
// 2026-12-06 05:03:09 gives "2026126539".
QString stopStamp(const QDateTime& moment);
