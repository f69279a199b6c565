#pragma once

#include "platform/program_files.h"

#include <QHash>
#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct CommandLine {
    enum class Outcome {
        Run,      // open the window
        Answered, // --help or --version: text for standard output, exit 0
        Refused,  // an unknown option or a stray argument: message for standard error, exit 2
    };
    // Refused only for options Qt's window application may take out of the
    // arguments itself (-platform, -style ...): ask again once it exists.
    bool mayBeQtsOwn = false;
    Outcome outcome = Outcome::Run;
    QString text;
    // The value of each given option that takes one, by its long name.
    QHash<QString, QString> values;
    // The session without a window (--headless).
    bool headless = false;
    // The folder of the step table, the records, ports/ and settings.ini,
    // and what chose it.
    DataDir dataDir;
};

// Reads the arguments (the program's name first) of the program in
// programDir; the help names the data folder it would use and why.
CommandLine readCommandLine(const QStringList& arguments, const QString& programDir);

// Makes a command line that runs the program ready to run: its data folder
// is made when missing, and a folder the operator named that cannot be used
// refuses it.
void prepareToRun(CommandLine& commandLine);

// Writes the answer or the refusal where it belongs and gives the exit code.
int finishCommandLine(const CommandLine& commandLine);
