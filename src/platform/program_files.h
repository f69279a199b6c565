#pragma once

#include <QString>
#include <functional>

using FileExists = std::function<bool(const QString& path)>;

// The <prefix>/share folder of the install that the program in programDir
// belongs to, or an empty text for a portable program (the build folder, any
// folder it was unpacked into). Installed means: programDir is <prefix>/bin
// and <prefix>/share/applications holds our desktop entry. The layout alone
// decides, never whether programDir is writable: root running
// /usr/bin/velkor must not start writing into /usr/bin.
QString installShareDir(const QString& programDir, const FileExists& exists);

// Where db1.sqlite, Record/ and ports/ live: beside a portable program, in
// the per-user data folder userDataDir for an installed one.
QString dataDirFor(const QString& programDir, const QString& shareDir, const QString& userDataDir);

// The window icon file: beside the program, or where the install put it.
QString windowIconFor(const QString& programDir, const QString& shareDir, const FileExists& exists);

// The data folder of the program in programDir on this machine. The
// application name must be set before: the per-user folder is named after it.
QString dataDirOf(const QString& programDir);

// The same folder, created when missing (the first start of an installed
// program).
QString prepareDataDir(const QString& programDir);

// The window icon file of the program in programDir on this machine; empty
// when there is none.
QString windowIconFile(const QString& programDir);
