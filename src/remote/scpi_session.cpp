#include "remote/scpi_session.h"

#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <cmath>

namespace {

// SCPI's not-a-number and infinity.
constexpr char kNotANumber[] = "9.91E37";
constexpr char kInfinity[] = "9.9E37";
constexpr qint16 kMostPasses = 100;

bool isWord(const ScpiParameter& parameter, const char* shortForm, const char* longForm) {
    return parameter.kind == ScpiParameter::Kind::Word &&
           (parameter.text == shortForm || parameter.text == longForm);
}

bool isMinimum(const ScpiParameter& parameter) {
    return isWord(parameter, "MIN", "MINIMUM");
}

bool isMaximum(const ScpiParameter& parameter) {
    return isWord(parameter, "MAX", "MAXIMUM");
}

// A value in the frame's units as volts or amperes, to the resolution the
// frame carries: 12.50, 0.500.
QByteArray quantityText(const SetpointQuantity& quantity, double frameUnits) {
    const int decimals = qRound(std::log10(quantity.frameUnitsPerUnit));
    return QByteArray::number(frameUnits / quantity.frameUnitsPerUnit, 'f', decimals);
}

// A refusal as the words after an error's text: one line, quotes doubled.
QByteArray detailOf(const QString& why) {
    QByteArray detail = why.simplified().toUtf8();
    detail.replace('"', "\"\"");
    return detail;
}

} // namespace

QByteArray ScpiSession::receive(QByteArrayView bytes) {
    QByteArray replies;
    for (;;) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        if (!discarding_) {
            partial_.append(piece);
        }
        // Room for the CR of a CR LF that has not arrived yet.
        if (!discarding_ && partial_.size() > kLineLimit + 1) {
            push(-363);
            partial_.clear();
            discarding_ = true;
        }
        if (end < 0) {
            return replies;
        }
        if (!discarding_) {
            if (partial_.endsWith('\r')) {
                partial_.chop(1);
            }
            if (partial_.size() > kLineLimit) {
                push(-363);
            } else {
                replies += executeLine(partial_);
            }
        }
        partial_.clear();
        discarding_ = false;
        bytes = bytes.sliced(end + 1);
    }
}

QByteArray ScpiSession::executeLine(QByteArrayView line) {
    ScpiLineParser parser(line);
    QList<QByteArray> answers;
    for (;;) {
        const ScpiLineParser::Next next = parser.next();
        if (next.error) {
            push(next.error->code);
            break;
        }
        if (!next.unit) {
            break;
        }
        if (const std::optional<QByteArray> answer = execute(*next.unit)) {
            answers.append(*answer);
        }
    }
    return answers.isEmpty() ? QByteArray() : answers.join(';') + '\n';
}

std::optional<QByteArray> ScpiSession::execute(const ScpiUnit& unit) {
    switch (unit.command) {
    case ScpiCommand::Voltage:
        return setpointUnit(unit, kVoltageQuantity);
    case ScpiCommand::Current:
        return setpointUnit(unit, kCurrentQuantity);
    case ScpiCommand::Output:
        return switchUnit(unit, instrument_.output(),
                          [this](bool on) { return instrument_.setOutput(on); });
    case ScpiCommand::ProtectionState:
        return switchUnit(unit, instrument_.tripMode(), [this](bool on) {
            instrument_.setTripMode(on);
            return QString();
        });
    case ScpiCommand::ProgramCount:
        return runCountUnit(unit);
    case ScpiCommand::ProgramState:
        return runStateUnit(unit);
    default:
        break;
    }

    if (!unit.parameters.isEmpty()) {
        push(-108);
        return std::nullopt;
    }
    switch (unit.command) {
    case ScpiCommand::Identify:
        return identity_;
    case ScpiCommand::Reset:
        refuse(instrument_.setOutput(false));
        return std::nullopt;
    case ScpiCommand::ClearStatus:
        errors_.clear();
        return std::nullopt;
    case ScpiCommand::OperationComplete:
        // Every command is done before the next is read.
        return unit.query ? std::optional<QByteArray>("1") : std::nullopt;
    case ScpiCommand::SystemError:
        return popError();
    case ScpiCommand::SystemVersion:
        return QByteArray("1999.0");
    case ScpiCommand::MeasureVoltage:
        return measureUnit(kVoltageQuantity);
    case ScpiCommand::MeasureCurrent:
        return measureUnit(kCurrentQuantity);
    case ScpiCommand::ProtectionTripped:
        return QByteArray(instrument_.tripped() ? "1" : "0");
    case ScpiCommand::ProtectionClear:
        instrument_.clearTrip();
        return std::nullopt;
    default:
        // *WAI, SYSTem:REMote and SYSTem:LOCal: the window is never locked
        // and nothing is left pending.
        return std::nullopt;
    }
}

std::optional<QByteArray> ScpiSession::setpointUnit(const ScpiUnit& unit,
                                                    const SetpointQuantity& quantity) {
    if (unit.query) {
        if (unit.parameters.size() > 1) {
            push(-108);
            return std::nullopt;
        }
        if (unit.parameters.isEmpty()) {
            return quantityText(quantity, instrument_.setpoint(quantity));
        }
        const ScpiParameter& asked = unit.parameters.front();
        if (isMinimum(asked) || isMaximum(asked)) {
            return quantityText(quantity, isMinimum(asked) ? 0 : quantity.frameLimit);
        }
        push(asked.kind == ScpiParameter::Kind::Word ? -224 : -104);
        return std::nullopt;
    }

    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    const ScpiParameter& value = unit.parameters.front();
    double frameUnits = 0;
    if (isMinimum(value) || isMaximum(value)) {
        frameUnits = isMinimum(value) ? 0 : quantity.frameLimit;
    } else if (value.kind != ScpiParameter::Kind::Number) {
        push(-104);
        return std::nullopt;
    } else {
        const QByteArray unitLetter(1, quantity.unit.toLatin1());
        double scale = 1;
        if (value.text == 'M' + unitLetter) {
            scale = 0.001;
        } else if (!value.text.isEmpty() && value.text != unitLetter) {
            push(-131);
            return std::nullopt;
        }
        frameUnits = value.number * scale * quantity.frameUnitsPerUnit;
    }
    // The operator's own limits: nothing below 0 or above the limit, before
    // rounding to the frame's resolution.
    if (!(frameUnits >= 0 && frameUnits <= quantity.frameLimit)) {
        push(-222);
        return std::nullopt;
    }
    refuse(instrument_.setSetpoint(quantity, toInt16HalfEven(frameUnits)));
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::measureUnit(const SetpointQuantity& quantity) {
    const std::optional<qint16> reading = instrument_.measured(quantity);
    if (!reading) {
        push(-230);
        return QByteArray(kNotANumber);
    }
    return quantityText(quantity, *reading);
}

std::optional<QByteArray> ScpiSession::switchUnit(const ScpiUnit& unit, bool state,
                                                  const std::function<QString(bool)>& set) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        return QByteArray(state ? "1" : "0");
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    const ScpiParameter& value = unit.parameters.front();
    std::optional<bool> on;
    if (value.kind == ScpiParameter::Kind::Number) {
        if (!value.text.isEmpty()) {
            push(-131);
            return std::nullopt;
        }
        if (value.number == 0 || value.number == 1) {
            on = value.number == 1;
        }
    } else if (value.kind == ScpiParameter::Kind::String) {
        push(-104);
        return std::nullopt;
    } else if (value.text == "ON" || value.text == "OFF") {
        on = value.text == "ON";
    }
    if (!on) {
        push(-224);
        return std::nullopt;
    }
    refuse(set(*on));
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::runCountUnit(const ScpiUnit& unit) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        const qint16 passes = instrument_.runCount();
        return passes == 0 ? QByteArray(kInfinity) : QByteArray::number(passes);
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    const ScpiParameter& value = unit.parameters.front();
    if (isWord(value, "INF", "INFINITY")) {
        instrument_.setRunCount(0);
        return std::nullopt;
    }
    double passes = 0;
    if (isMinimum(value) || isMaximum(value)) {
        passes = isMinimum(value) ? 1 : kMostPasses;
    } else if (value.kind != ScpiParameter::Kind::Number) {
        push(-104);
        return std::nullopt;
    } else if (!value.text.isEmpty()) {
        push(-131);
        return std::nullopt;
    } else {
        passes = roundHalfEven(value.number);
    }
    if (!(passes >= 1 && passes <= kMostPasses)) {
        push(-222);
        return std::nullopt;
    }
    instrument_.setRunCount(static_cast<qint16>(passes));
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::runStateUnit(const ScpiUnit& unit) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        return QByteArray(instrument_.running() ? "RUN" : "STOP");
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    const ScpiParameter& value = unit.parameters.front();
    if (value.kind != ScpiParameter::Kind::Word) {
        push(-104);
        return std::nullopt;
    }
    if (value.text != "RUN" && value.text != "STOP") {
        push(-224);
        return std::nullopt;
    }
    refuse(instrument_.setRunning(value.text == "RUN"));
    return std::nullopt;
}

bool ScpiSession::oneParameter(const ScpiUnit& unit) {
    if (unit.parameters.isEmpty()) {
        push(-109);
        return false;
    }
    if (unit.parameters.size() > 1) {
        push(-108);
        return false;
    }
    return true;
}

void ScpiSession::refuse(const QString& why) {
    if (!why.isEmpty()) {
        push(-221, detailOf(why));
    }
}

// A full queue keeps its oldest errors and says that it overflowed.
void ScpiSession::push(int code, QByteArray detail) {
    if (errors_.size() >= kQueueLength) {
        errors_.last() = ScpiError{-350, {}};
        return;
    }
    errors_.append(ScpiError{code, std::move(detail)});
}

QByteArray ScpiSession::popError() {
    const ScpiError error = errors_.isEmpty() ? ScpiError{} : errors_.takeFirst();
    QByteArray text = scpiErrorText(error.code);
    if (!error.detail.isEmpty()) {
        text += ';' + error.detail;
    }
    return QByteArray::number(error.code) + ",\"" + text + '"';
}
