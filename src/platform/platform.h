#pragma once

#include <QString>

class Clock;
class Dialogs;
class RecordWorker;
class Screen;
class SerialPort;

// Everything outside the process that the supply session and the window
// talk to; the screen is the window's alone and absent without one. The
// owner keeps these alive for the session's and the window's life.
struct Platform {
    SerialPort* serialPort = nullptr;
    Clock* clock = nullptr;
    Screen* screen = nullptr;
    Dialogs* dialogs = nullptr;
    // The executable's directory, without a trailing separator.
    QString programDir;
    // Where the step table, the record files and the port links live: the
    // program's directory for a portable copy, the per-user data folder for
    // an installed program (see program_files.h).
    QString dataDir;
    // Where the journal and the records are written; when none is given
    // the session makes its own, on its own thread.
    RecordWorker* records = nullptr;
};
