#include "remote/scpi_parser.h"

#include <array>
#include <cmath>
#include <span>

namespace {

// A header node as SCPI writes it: the upper-case letters are the short form,
// the whole word the long form, brackets mark a node that may be left out.
struct Node {
    QByteArrayView shortForm;
    QByteArrayView longForm;
    bool optional;
};

struct Forms {
    bool command;
    bool query;
};

struct CommandEntry {
    ScpiCommand command;
    const char* pattern;
    Forms forms;
};

constexpr Forms kBoth{true, true};
constexpr Forms kQueryOnly{false, true};
constexpr Forms kCommandOnly{true, false};

constexpr std::array kCommonCommands{
    CommandEntry{ScpiCommand::Identify, "*IDN", kQueryOnly},
    CommandEntry{ScpiCommand::Reset, "*RST", kCommandOnly},
    CommandEntry{ScpiCommand::ClearStatus, "*CLS", kCommandOnly},
    CommandEntry{ScpiCommand::OperationComplete, "*OPC", kBoth},
    CommandEntry{ScpiCommand::Wait, "*WAI", kCommandOnly},
    CommandEntry{ScpiCommand::EventStatusEnable, "*ESE", kBoth},
    CommandEntry{ScpiCommand::EventStatusRegister, "*ESR", kQueryOnly},
    CommandEntry{ScpiCommand::ServiceRequestEnable, "*SRE", kBoth},
    CommandEntry{ScpiCommand::StatusByte, "*STB", kQueryOnly},
    CommandEntry{ScpiCommand::SelfTest, "*TST", kQueryOnly},
};

constexpr std::array kCommandTable{
    CommandEntry{ScpiCommand::SystemError, "SYSTem ERRor [NEXT]", kQueryOnly},
    CommandEntry{ScpiCommand::SystemVersion, "SYSTem VERSion", kQueryOnly},
    CommandEntry{ScpiCommand::SystemRemote, "SYSTem REMote", kCommandOnly},
    CommandEntry{ScpiCommand::SystemLocal, "SYSTem LOCal", kCommandOnly},
    CommandEntry{ScpiCommand::Voltage, "[SOURce] VOLTage [LEVel] [IMMediate] [AMPLitude]", kBoth},
    CommandEntry{ScpiCommand::Current, "[SOURce] CURRent [LEVel] [IMMediate] [AMPLitude]", kBoth},
    CommandEntry{ScpiCommand::VoltageStep, "[SOURce] VOLTage [LEVel] [IMMediate] STEP [INCRement]",
                 kBoth},
    CommandEntry{ScpiCommand::CurrentStep, "[SOURce] CURRent [LEVel] [IMMediate] STEP [INCRement]",
                 kBoth},
    CommandEntry{ScpiCommand::Apply, "APPLy", kBoth},
    CommandEntry{ScpiCommand::Output, "OUTPut [STATe]", kBoth},
    CommandEntry{ScpiCommand::MeasureVoltage, "MEASure [SCALar] [VOLTage] [DC]", kQueryOnly},
    CommandEntry{ScpiCommand::MeasureCurrent, "MEASure [SCALar] CURRent [DC]", kQueryOnly},
    CommandEntry{ScpiCommand::FetchVoltage, "FETCh [SCALar] [VOLTage] [DC]", kQueryOnly},
    CommandEntry{ScpiCommand::FetchCurrent, "FETCh [SCALar] CURRent [DC]", kQueryOnly},
    CommandEntry{ScpiCommand::ProtectionState, "[SOURce] CURRent PROTection [STATe]", kBoth},
    CommandEntry{ScpiCommand::ProtectionTripped, "[SOURce] CURRent PROTection TRIPped", kQueryOnly},
    CommandEntry{ScpiCommand::ProtectionClear, "OUTPut PROTection CLEar", kCommandOnly},
    CommandEntry{ScpiCommand::OutputTripped, "OUTPut PROTection TRIPped", kQueryOnly},
    CommandEntry{ScpiCommand::WatchdogState, "OUTPut PROTection WDOG [STATe]", kBoth},
    CommandEntry{ScpiCommand::WatchdogDelay, "OUTPut PROTection WDOG DELay", kBoth},
    CommandEntry{ScpiCommand::ProgramCount, "PROGram COUNt", kBoth},
    CommandEntry{ScpiCommand::ProgramState, "PROGram STATe", kBoth},
    CommandEntry{ScpiCommand::ProgramStep, "PROGram STEP", kQueryOnly},
    CommandEntry{ScpiCommand::ProgramPass, "PROGram PASS", kQueryOnly},
};

struct Pattern {
    ScpiCommand command;
    Forms forms;
    QList<Node> nodes;
};

QList<Node> nodesOf(QByteArrayView pattern) {
    QList<Node> nodes;
    qsizetype start = 0;
    while (start < pattern.size()) {
        qsizetype end = pattern.indexOf(' ', start);
        if (end < 0) {
            end = pattern.size();
        }
        QByteArrayView word = pattern.sliced(start, end - start);
        const bool optional = word.startsWith('[');
        if (optional) {
            word = word.sliced(1, word.size() - 2);
        }
        qsizetype shortLength = 0;
        while (shortLength < word.size() &&
               !(word[shortLength] >= 'a' && word[shortLength] <= 'z')) {
            ++shortLength;
        }
        nodes.append({word.first(shortLength), word, optional});
        start = end + 1;
    }
    return nodes;
}

const QList<Pattern>& patterns() {
    static const QList<Pattern> table = [] {
        QList<Pattern> list;
        for (const CommandEntry& entry : kCommandTable) {
            list.append({entry.command, entry.forms, nodesOf(entry.pattern)});
        }
        return list;
    }();
    return table;
}

bool mnemonicMatches(const QByteArray& upper, const Node& node) {
    return upper == node.shortForm || upper == node.longForm.toByteArray().toUpper();
}

// Whether the mnemonics from `token` on fit the nodes from `node` on, leaving
// out optional nodes where that makes them fit.
bool fits(std::span<const QByteArray> tokens, std::span<const Node> nodes) {
    if (nodes.empty()) {
        return tokens.empty();
    }
    if (!tokens.empty() && mnemonicMatches(tokens.front(), nodes.front()) &&
        fits(tokens.subspan(1), nodes.subspan(1))) {
        return true;
    }
    return nodes.front().optional && fits(tokens, nodes.subspan(1));
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool isMnemonicChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_';
}

ScpiLineParser::Next failure(int code) {
    return {std::nullopt, ScpiError{code, {}}};
}

} // namespace

void ScpiLineParser::skipSpaces() {
    while (!atEnd() && isSpace(peek())) {
        ++position_;
    }
}

ScpiLineParser::Next ScpiLineParser::next() {
    skipSpaces();
    while (peek() == ';') {
        ++position_;
        skipSpaces();
    }
    if (atEnd()) {
        return {};
    }
    const bool common = peek() == '*';
    const bool fromRoot = peek() == ':';
    if (common || fromRoot) {
        ++position_;
    }
    QList<QByteArray> tokens;
    for (;;) {
        const qsizetype start = position_;
        if (!isLetter(peek())) {
            return failure(-102);
        }
        while (!atEnd() && isMnemonicChar(peek())) {
            ++position_;
        }
        tokens.append(line_.sliced(start, position_ - start).toByteArray().toUpper());
        if (common || peek() != ':') {
            break;
        }
        ++position_;
    }
    const bool query = peek() == '?';
    if (query) {
        ++position_;
    }
    if (!atEnd() && !isSpace(peek()) && peek() != ';') {
        return failure(-102);
    }

    std::optional<ScpiUnit> unit;
    if (common) {
        const QByteArray name = '*' + tokens.front();
        for (const CommandEntry& entry : kCommonCommands) {
            if (name == entry.pattern && (query ? entry.forms.query : entry.forms.command)) {
                unit = ScpiUnit{entry.command, query, {}};
            }
        }
    } else {
        QList<QByteArray> full = fromRoot ? QList<QByteArray>() : path_;
        full.append(tokens);
        for (const Pattern& pattern : patterns()) {
            if ((query ? pattern.forms.query : pattern.forms.command) &&
                fits(std::span(full.cbegin(), full.cend()),
                     std::span(pattern.nodes.cbegin(), pattern.nodes.cend()))) {
                unit = ScpiUnit{pattern.command, query, {}};
                break;
            }
        }
        full.removeLast();
        path_ = full;
    }
    if (!unit) {
        return failure(-113);
    }
    if (const auto error = readParameters(unit->parameters)) {
        return {std::nullopt, error};
    }
    return {unit, std::nullopt};
}

std::optional<ScpiError> ScpiLineParser::readParameters(QList<ScpiParameter>& parameters) {
    skipSpaces();
    if (atEnd() || peek() == ';') {
        return std::nullopt;
    }
    for (;;) {
        skipSpaces();
        const std::optional<ScpiParameter> parameter = readParameter();
        if (!parameter) {
            return ScpiError{-102, {}};
        }
        parameters.append(*parameter);
        skipSpaces();
        if (atEnd() || peek() == ';') {
            return std::nullopt;
        }
        if (peek() != ',') {
            return ScpiError{-102, {}};
        }
        ++position_;
    }
}

std::optional<ScpiParameter> ScpiLineParser::readParameter() {
    ScpiParameter parameter;
    const char first = peek();
    if (first == '"' || first == '\'') {
        parameter.kind = ScpiParameter::Kind::String;
        ++position_;
        for (;;) {
            if (atEnd()) {
                return std::nullopt;
            }
            const char c = line_[position_++];
            if (c == first) {
                // A doubled quote stands for itself inside the string.
                if (peek() != first) {
                    return parameter;
                }
                ++position_;
            }
            parameter.text.append(c);
        }
    }
    if (isLetter(first)) {
        const qsizetype start = position_;
        while (!atEnd() && isMnemonicChar(peek())) {
            ++position_;
        }
        parameter.text = line_.sliced(start, position_ - start).toByteArray().toUpper();
        return parameter;
    }

    // NR1, NR2 or NR3: sign, digits with at most one point, an exponent.
    parameter.kind = ScpiParameter::Kind::Number;
    const qsizetype start = position_;
    if (peek() == '+' || peek() == '-') {
        ++position_;
    }
    qsizetype digits = 0;
    while (isDigit(peek())) {
        ++position_;
        ++digits;
    }
    if (peek() == '.') {
        ++position_;
        while (isDigit(peek())) {
            ++position_;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (peek() == 'e' || peek() == 'E') {
        qsizetype exponent = position_ + 1;
        if (exponent < line_.size() && (line_[exponent] == '+' || line_[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < line_.size() && isDigit(line_[exponent])) {
            position_ = exponent;
            while (isDigit(peek())) {
                ++position_;
            }
        }
    }
    const QByteArray number = line_.sliced(start, position_ - start).toByteArray();
    bool ok = false;
    parameter.number = number.toDouble(&ok);
    if (!ok) {
        // The form is sound, so only the exponent can have taken the value
        // beyond a double: towards zero or towards infinity.
        const bool tiny = number.contains("e-") || number.contains("E-");
        parameter.number = tiny ? 0.0 : (first == '-' ? -HUGE_VAL : HUGE_VAL);
    }
    skipSpaces();
    const qsizetype suffixStart = position_;
    while (isLetter(peek())) {
        ++position_;
    }
    parameter.text = line_.sliced(suffixStart, position_ - suffixStart).toByteArray().toUpper();
    return parameter;
}

QByteArray scpiErrorText(int code) {
    switch (code) {
    case 0:
        return "No error";
    case -102:
        return "Syntax error";
    case -104:
        return "Data type error";
    case -108:
        return "Parameter not allowed";
    case -109:
        return "Missing parameter";
    case -113:
        return "Undefined header";
    case -131:
        return "Invalid suffix";
    case -221:
        return "Settings conflict";
    case -222:
        return "Data out of range";
    case -224:
        return "Illegal parameter value";
    case -230:
        return "Data corrupt or stale";
    case -350:
        return "Queue overflow";
    case -363:
        return "Input buffer overrun";
    default:
        return "Error";
    }
}
