#include "app/command_line.h"

#include "app/version.h"
#include "remote/scpi_port.h"

#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <cstdio>

namespace {

// The program's options besides --help and --version, one entry each. An
// option with a value name takes a value, handed on in CommandLine::values.
const QList<QCommandLineOption>& programOptions() {
    static const QList<QCommandLineOption> options{
        {QStringLiteral("scpi"),
         QStringLiteral("Serve SCPI on 127.0.0.1 and ::1 at PORT (overrides scpi_port in the data "
                        "folder's settings.ini)."),
         QStringLiteral("PORT")},
        {QStringLiteral("data-dir"),
         QStringLiteral("Keep the step table, the records, ports/ and settings.ini in DIR, made "
                        "when missing (overrides the environment variable VELKOR_DATA_DIR)."),
         QStringLiteral("DIR")},
        {QStringLiteral("headless"),
         QStringLiteral("Run without a window and without a display: the link, SCPI, the "
                        "records and the stop signals only (for a rack PC or a service).")},
    };
    return options;
}

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Show this text and end."));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")},
                                  QStringLiteral("Show the version and end."));

QString dataDirSourceText(DataDirSource source) {
    switch (source) {
    case DataDirSource::Option:
        return QStringLiteral("named by --data-dir");
    case DataDirSource::Environment:
        return QStringLiteral("named by VELKOR_DATA_DIR");
    case DataDirSource::UserData:
        return QStringLiteral("the installed program's per-user folder: $XDG_DATA_HOME/Velkor, "
                              "~/.local/share/Velkor when XDG_DATA_HOME is unset");
    case DataDirSource::ProgramFolder:
        return QStringLiteral("the program's own folder, as a portable copy uses");
    }
    return {};
}

QString dataFolderText(const DataDir& dataDir) {
    return QStringLiteral("\nData folder: %1\n"
                          "  (%2)\n"
                          "  db1.sqlite    the step table\n"
                          "  Record/       one record file per switch-off\n"
                          "  settings.ini  optional settings (scpi_port ...)\n"
                          "  ports/        optional links com1 .. com16 to serial devices; a link\n"
                          "                to /dev/null keeps that port out of the search\n"
                          "Without a link, ports 1-4 are /dev/ttyS0..3, 5-10 /dev/ttyACM0..5 and\n"
                          "11-16 /dev/ttyUSB0..5.\n")
        .arg(QDir::toNativeSeparators(dataDir.path), dataDirSourceText(dataDir.source));
}

QString refusalText(const QString& why) {
    return QStringLiteral("velkor: %1\nTry 'velkor --help'.\n").arg(why);
}

// The options a Qt window application takes for itself, as its documentation
// lists them.
bool isQtsOwnOption(const QString& name) {
    static const QStringList qtsOwn{
        QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"), QStringLiteral("plugin"),
        QStringLiteral("qmljsdebugger"), QStringLiteral("qwindowgeometry"),
        QStringLiteral("qwindowicon"),   QStringLiteral("qwindowtitle"),
        QStringLiteral("reverse"),       QStringLiteral("session"),
        QStringLiteral("style"),         QStringLiteral("stylesheet"),
        QStringLiteral("widgetcount"),   QStringLiteral("display"),
        QStringLiteral("geometry"),      QStringLiteral("title"),
        QStringLiteral("icon"),          QStringLiteral("name"),
        QStringLiteral("visual"),        QStringLiteral("ncols"),
        QStringLiteral("cmap"),          QStringLiteral("nograb"),
        QStringLiteral("dograb"),        QStringLiteral("sync")};
    return qtsOwn.contains(name);
}

} // namespace

CommandLine readCommandLine(const QStringList& arguments, const QString& programDir) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control program of the Velkor programmable DC power supply (0-31 V, "
                       "0-5.1 A).\nFinds the supply on a serial port and opens its window."));
    // Qt's own options are words after a single dash, as -platform.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    parser.addOptions(programOptions());

    CommandLine result;
    const bool parsed = parser.parse(arguments);
    const QString dataDirOption = QStringLiteral("data-dir");
    result.dataDir = dataDirOf(programDir, parsed ? parser.value(dataDirOption) : QString());
    if (!parsed) {
        result.outcome = CommandLine::Outcome::Refused;
        result.text = parser.errorText();
        const QStringList unknown = parser.unknownOptionNames();
        result.mayBeQtsOwn =
            !unknown.isEmpty() && std::all_of(unknown.begin(), unknown.end(), isQtsOwnOption);
    } else if (!parser.positionalArguments().isEmpty()) {
        result.outcome = CommandLine::Outcome::Refused;
        result.text = QStringLiteral("Unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst());
    } else if (parser.isSet(kHelp)) {
        result.outcome = CommandLine::Outcome::Answered;
        result.text = parser.helpText() + dataFolderText(result.dataDir);
    } else if (parser.isSet(kVersion)) {
        result.outcome = CommandLine::Outcome::Answered;
        result.text = QStringLiteral("velkor %1\n").arg(QLatin1String(kProgramVersion));
    } else if (parser.isSet(QStringLiteral("scpi")) &&
               !scpiPortNumber(parser.value(QStringLiteral("scpi")))) {
        // A typo in a service's command line must stop it, not leave it
        // running without the SCPI it was started for.
        result.outcome = CommandLine::Outcome::Refused;
        result.text = QStringLiteral("--scpi \"%1\" is no port number 1..65535.")
                          .arg(parser.value(QStringLiteral("scpi")));
    } else if (parser.isSet(dataDirOption) && parser.value(dataDirOption).isEmpty()) {
        result.outcome = CommandLine::Outcome::Refused;
        result.text = QStringLiteral("--data-dir names no folder.");
    }
    if (result.outcome == CommandLine::Outcome::Refused) {
        result.text = refusalText(result.text);
        return result;
    }
    for (const QCommandLineOption& option : programOptions()) {
        if (!option.valueName().isEmpty() && parser.isSet(option)) {
            result.values.insert(option.names().constLast(), parser.value(option));
        }
    }
    result.headless = parser.isSet(QStringLiteral("headless"));
    return result;
}

void prepareToRun(CommandLine& commandLine) {
    if (commandLine.outcome != CommandLine::Outcome::Run) {
        return;
    }
    const QString problem = prepareDataDir(commandLine.dataDir);
    if (!problem.isEmpty()) {
        commandLine.outcome = CommandLine::Outcome::Refused;
        commandLine.text = refusalText(problem);
    }
}

int finishCommandLine(const CommandLine& commandLine) {
    const QByteArray text = commandLine.text.toLocal8Bit();
    if (commandLine.outcome == CommandLine::Outcome::Refused) {
        std::fputs(text.constData(), stderr);
        return 2;
    }
    std::fputs(text.constData(), stdout);
    return 0;
}
