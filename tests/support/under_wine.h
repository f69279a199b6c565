#pragma once

#include <QLibrary>

// Whether this test runs as a Windows program under Wine, whose gaps some
// checks must name instead of failing on: a removed file that keeps its
// name while open, a second open of a held COM port, connections without an
// owning process. False on Linux, where there is no ntdll.
inline bool runsUnderWine() {
    QLibrary ntdll(QStringLiteral("ntdll"));
    return ntdll.load() && ntdll.resolve("wine_get_version") != nullptr;
}
