#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// The SCPI commands the program knows, by what they do; the header forms that
// reach each are in the command table of scpi_parser.cpp.
enum class ScpiCommand {
    Identify,
    Reset,
    ClearStatus,
    OperationComplete,
    Wait,
    EventStatusEnable,
    EventStatusRegister,
    ServiceRequestEnable,
    StatusByte,
    SelfTest,
    SystemError,
    SystemVersion,
    SystemRemote,
    SystemLocal,
    Voltage,
    Current,
    VoltageStep,
    CurrentStep,
    Apply,
    Output,
    MeasureVoltage,
    MeasureCurrent,
    FetchVoltage,
    FetchCurrent,
    ProtectionState,
    ProtectionTripped,
    ProtectionClear,
    OutputTripped,
    WatchdogState,
    WatchdogDelay,
    ProgramCount,
    ProgramState,
    ProgramStep,
    ProgramPass,
};

struct ScpiError {
    int code = 0;
    // Extra words after the standard text, e.g. why a setting was refused.
    QByteArray detail;
};

// One parameter as sent: a number with its suffix, a word (character data)
// or a quoted string.
struct ScpiParameter {
    enum class Kind { Number, Word, String };
    Kind kind = Kind::Word;
    double number = 0;
    // Upper case: the suffix of a number ("MV"), the word itself ("MAX").
    QByteArray text;
};

// One program message unit: a known header, query or not, its parameters.
struct ScpiUnit {
    ScpiCommand command = ScpiCommand::Identify;
    bool query = false;
    QList<ScpiParameter> parameters;
};

// Reads program message units one at a time from one line (without its
// terminator), keeping the header path between them: after
// "SOUR:VOLT 5;CURR 1" the second unit is SOUR:CURR, and a leading ":" starts
// again from the root. Common commands ("*RST") leave the path alone.
class ScpiLineParser {
public:
    explicit ScpiLineParser(QByteArrayView line) : line_(line) {}

    // The next unit, or an error (-102 syntax, -113 undefined header) after
    // which the rest of the line is not read. Neither at the end of the line.
    struct Next {
        std::optional<ScpiUnit> unit;
        std::optional<ScpiError> error;
    };
    Next next();

private:
    bool atEnd() const { return position_ >= line_.size(); }
    char peek() const { return atEnd() ? '\0' : line_[position_]; }
    void skipSpaces();
    std::optional<ScpiError> readParameters(QList<ScpiParameter>& parameters);
    std::optional<ScpiParameter> readParameter();

    QByteArrayView line_;
    qsizetype position_ = 0;
    QList<QByteArray> path_;
};

// The text SCPI gives an error code: -222 gives "Data out of range".
QByteArray scpiErrorText(int code);
