#pragma once

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
};

// Reads the arguments (the program's name first); the help names dataDir,
// the folder the program would use.
CommandLine readCommandLine(const QStringList& arguments, const QString& dataDir);

// Writes the answer or the refusal where it belongs and gives the exit code.
int finishCommandLine(const CommandLine& commandLine);
