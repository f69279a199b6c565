#include "platform/stderr_dialogs.h"

#include <cstdio>

void StderrDialogs::message(const QString& text, const QString& title) {
    const QString heading = title.isEmpty() ? QStringLiteral("Velkor") : title;
    std::fprintf(stderr, "%s: %s\n\n", qPrintable(heading), qPrintable(text));
}
