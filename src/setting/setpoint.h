#pragma once

#include <QString>
#include <QtGlobal>

// The value of a text's leading decimal number: digits with at most one "."
// up to the first other character; a text without leading digits is 0.
double leadingNumber(const QString& text);

// Nearest integer, a half going to the even neighbour.
double roundHalfEven(double value);

// Rounds half to even and saturates to the 16-bit range the setpoints,
// counters and hold times are kept in.
qint16 toInt16HalfEven(double value);

// The shortest decimal text of a value, "." as the point, no exponent, no
// leading blank: 12.5, 0.05, 1.
QString shortestDecimalText(double value);

// Checks a setpoint entry such as "12.34V" against its unit letter ("V" or
// "A"): true when the text is NOT acceptable. Up to six characters, the unit
// letter only at the end, otherwise digits and at most one "."; the empty
// text is acceptable.
bool isRefusedEntryText(const QString& text, QChar unit);
