#pragma once

#include <QString>
#include <functional>

using FileExists = std::function<bool(const QString& path)>;

// The folder of the install that the program in programDir belongs to, or
// an empty text for a portable program (the build folder, any folder it was
// unpacked into). The layout alone decides, never whether programDir is
// writable: root running /usr/bin/velkor must not start writing into
// /usr/bin.
// - Linux: the <prefix>/share folder, when programDir is <prefix>/bin and
//   <prefix>/share/applications holds our desktop entry.
// - Windows: programDir itself, when the installer's uninstaller is beside
//   the program; the portable copy has none.
QString installShareDir(const QString& programDir, const FileExists& exists);

// What chose the data folder, in the order that it is asked.
enum class DataDirSource {
    Option,        // --data-dir
    Environment,   // VELKOR_DATA_DIR
    UserData,      // the per-user data folder of an installed program
    ProgramFolder, // beside a portable program
};

struct DataDir {
    QString path;
    DataDirSource source = DataDirSource::ProgramFolder;
};

// Where db1.sqlite, Record/, ports/ and settings.ini live: the folder the
// option names (empty when not given), else the one the environment
// variable names (empty when unset), else the per-user data folder
// userDataDir for an installed program, else beside the program.
DataDir dataDirFor(const QString& option, const QString& environment, const QString& programDir,
                   const QString& shareDir, const QString& userDataDir);

// The window icon file: beside the program, or where the install put it.
QString windowIconFor(const QString& programDir, const QString& shareDir, const FileExists& exists);

// The data folder of the program in programDir on this machine, given the
// --data-dir option's value (empty when not given); a relative folder is
// taken from the current one. The application name must be set before: the
// per-user folder is named after it.
DataDir dataDirOf(const QString& programDir, const QString& option);

// Creates the folder when missing (the first start of an installed
// program). Returns why a folder the operator named cannot be used: it
// cannot be made, or nothing can be written in it; empty otherwise. A
// folder the program chose by itself is not refused here: the step table
// and the record files report their own failures where they are used.
QString prepareDataDir(const DataDir& dataDir);

// The window icon file of the program in programDir on this machine; empty
// when there is none.
QString windowIconFile(const QString& programDir);
