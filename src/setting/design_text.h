#pragma once

#include <QString>

// A text the window design fixed in Chinese, and the English that follows it
// in the English window: the Chinese alone in the Chinese window, the
// Chinese first and then the English in the English one.
struct DesignText {
    QString chinese;
    QString english;

    // A box's text: the English on a line of its own.
    QString text(bool englishUi) const {
        return englishUi ? chinese + QLatin1Char('\n') + english : chinese;
    }
    // A title keeps to one line: the English after a slash.
    QString title(bool englishUi) const {
        return englishUi ? chinese + QStringLiteral(" / ") + english : chinese;
    }
};
