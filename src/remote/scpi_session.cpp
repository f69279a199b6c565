#include "remote/scpi_session.h"

#include "remote/web_request.h"
#include "setting/setpoint.h"
#include "setting/setpoint_quantity.h"

#include <algorithm>
#include <cmath>

namespace {

// SCPI's not-a-number and infinity.
constexpr char kNotANumber[] = "9.91E37";
constexpr char kInfinity[] = "9.9E37";
constexpr int kMostPasses = 100;
constexpr int kWatchdogDelayAfterResetS = 60;
// The status byte's bits: error queue not empty, a standard event enabled
// in *ESE, and the summary of those enabled in *SRE.
constexpr quint8 kErrorAvailableBit = 4;
constexpr quint8 kEventSummaryBit = 32;
constexpr quint8 kServiceRequestBit = 64;

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

bool isDefault(const ScpiParameter& parameter) {
    return isWord(parameter, "DEF", "DEFAULT");
}

bool isVoltage(const SetpointQuantity& quantity) {
    return quantity.unit == kVoltageQuantity.unit;
}

int resetSetpoint(const SetpointQuantity& quantity) {
    return isVoltage(quantity) ? ScpiSession::kResetCentivolts : ScpiSession::kResetMilliamps;
}

// A value in the frame's units as volts or amperes, to the resolution the
// frame carries: 12.50, 0.500.
QByteArray quantityText(const SetpointQuantity& quantity, double frameUnits) {
    const int decimals = qRound(std::log10(quantity.frameUnitsPerUnit));
    return QByteArray::number(frameUnits / quantity.frameUnitsPerUnit, 'f', decimals);
}

// What a script's first byte can be: printable ASCII or white space. A TLS
// ClientHello starts with 0x16, and its later bytes are the sender's to
// choose, lines included.
bool isScriptByte(char c) {
    return (c >= ' ' && c <= '~') || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// A refusal as the words after an error's text: the English of a text that
// says it in both languages, on one line, quotes doubled. A client reads
// 7-bit ASCII only.
QByteArray detailOf(const QString& why) {
    QStringList english;
    for (const QString& line : why.split(QLatin1Char('\n'))) {
        if (isAscii(line) && !line.trimmed().isEmpty()) {
            english << line.trimmed();
        }
    }
    QByteArray detail = english.join(QLatin1Char(' ')).simplified().toLatin1();
    detail.replace('"', "\"\"");
    return detail;
}

// The standard event a queued error sets, by the error's class.
quint8 eventOf(int code) {
    if (code <= -100 && code > -200) {
        return ScpiSession::CommandErrorBit;
    }
    if (code <= -200 && code > -300) {
        return ScpiSession::ExecutionErrorBit;
    }
    if (code <= -300 && code > -400) {
        return ScpiSession::DeviceErrorBit;
    }
    if (code <= -400 && code > -500) {
        return ScpiSession::QueryErrorBit;
    }
    return 0;
}

} // namespace

QByteArray ScpiSession::receive(QByteArrayView bytes) {
    QByteArray replies;
    if (!anyByte_ && !bytes.isEmpty()) {
        anyByte_ = true;
        webRequest_ = !isScriptByte(bytes.front());
    }
    while (!webRequest_) {
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
        replies += endLine();
        bytes = bytes.sliced(end + 1);
    }
    return replies;
}

QByteArray ScpiSession::finish() {
    return partial_.isEmpty() ? QByteArray() : endLine();
}

QByteArray ScpiSession::endLine() {
    QByteArray replies;
    if (partial_.endsWith('\r')) {
        partial_.chop(1);
    }
    // A line that grew too long had its overrun queued as it grew.
    if (!discarding_ && !webRequest_) {
        if (partial_.size() > kLineLimit) {
            push(-363);
        } else if (isWebRequestLine(partial_, firstLine_)) {
            webRequest_ = true;
        } else if (waiting()) {
            firstLine_ = false;
            linesWaiting_.append(partial_);
        } else {
            firstLine_ = false;
            replies = runLine(partial_);
        }
    }
    partial_.clear();
    discarding_ = false;
    return replies;
}

QByteArray ScpiSession::runLine(QByteArray line) {
    line_ = std::move(line);
    parser_.emplace(line_);
    answers_.clear();
    lineRanUnit_ = false;
    return continueLine();
}

// Runs units until the line ends or one waits; the line's answers joined by
// ";" and ending in LF once it ended, nothing when it held no query.
QByteArray ScpiSession::continueLine() {
    while (!wait_) {
        const ScpiLineParser::Next next = parser_->next();
        if (next.error) {
            push(next.error->code);
        }
        if (next.error || !next.unit) {
            break;
        }
        lineRanUnit_ = true;
        if (const std::optional<QByteArray> answer = execute(*next.unit)) {
            answers_.append(*answer);
        }
    }
    if (wait_) {
        return {};
    }
    parser_.reset();
    if (lineRanUnit_) {
        ++linesRun_;
    }
    if (answers_.isEmpty()) {
        return {};
    }
    QByteArray replies = answers_.join(';') + '\n';
    // Whatever an answer carries, a client reads 7-bit ASCII.
    for (char& c : replies) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            c = '?';
        }
    }
    return replies;
}

QByteArray ScpiSession::resume() {
    if (!wait_) {
        return {};
    }
    const WaitEnd end = endOfWait();
    if (!end.ended) {
        return {};
    }
    wait_.reset();
    if (end.answer) {
        answers_.append(*end.answer);
    }
    QByteArray replies = continueLine();
    while (!wait_ && !linesWaiting_.isEmpty()) {
        replies += runLine(linesWaiting_.takeFirst());
    }
    return replies;
}

void ScpiSession::waitFor(Wait::For what, const ScpiUnit& unit, const SetpointQuantity* quantity) {
    wait_ = Wait{what,
                 unit,
                 quantity,
                 instrument_.framesBegun(),
                 instrument_.repliesTaken(),
                 -1,
                 instrument_.nowMs() + kLongestWaitMs};
}

// A frame begun after the mark went out whole, so it carried every change
// made before. Frames go out only while a port is open; with none, there is
// nothing to wait for.
bool ScpiSession::frameOutSince(quint64 frameMark) const {
    return !instrument_.sending() || instrument_.lastWholeFrame() > frameMark;
}

ScpiSession::WaitEnd ScpiSession::endOfWait() {
    Wait& wait = *wait_;
    const qint64 now = instrument_.nowMs();
    const bool late = now >= wait.deadlineMs;
    switch (wait.what) {
    case Wait::For::WholeFrame:
        if (!frameOutSince(wait.frameMark) && !late) {
            return {};
        }
        if (wait.unit.command == ScpiCommand::OperationComplete && !wait.unit.query) {
            eventStatus_ |= OperationCompleteBit;
        }
        return {true, wait.unit.query ? std::optional<QByteArray>("1") : std::nullopt};
    case Wait::For::Reading: {
        if (wait.frameOutMs < 0 && frameOutSince(wait.frameMark)) {
            wait.frameOutMs = now;
            wait.replyMark = instrument_.repliesTaken();
        }
        if (wait.frameOutMs >= 0 && instrument_.repliesTaken() > wait.replyMark) {
            if (now - wait.frameOutMs >= kReplyAfterFrameMs) {
                if (const std::optional<QByteArray> reading = readingText(*wait.quantity)) {
                    return {true, reading};
                }
            }
            // Read too soon after the frame to show it: the next reply.
            wait.replyMark = instrument_.repliesTaken();
        }
        return late ? WaitEnd{true, noReading()} : WaitEnd{};
    }
    case Wait::For::FreshReading:
        if (const std::optional<QByteArray> reading = readingText(*wait.quantity)) {
            return {true, reading};
        }
        return late ? WaitEnd{true, noReading()} : WaitEnd{};
    case Wait::For::SupplyAnswers:
        if (!instrument_.supplyAnswers() && !late) {
            return {};
        }
        supplyWaitOver_ = true;
        const ScpiUnit unit = wait.unit;
        WaitEnd end{true, execute(unit)};
        supplyWaitOver_ = false;
        return end;
    }
    return {};
}

std::optional<QByteArray> ScpiSession::execute(const ScpiUnit& unit) {
    switch (unit.command) {
    case ScpiCommand::Voltage:
        return setpointUnit(unit, kVoltageQuantity);
    case ScpiCommand::Current:
        return setpointUnit(unit, kCurrentQuantity);
    case ScpiCommand::VoltageStep:
        return stepUnit(unit, kVoltageQuantity);
    case ScpiCommand::CurrentStep:
        return stepUnit(unit, kCurrentQuantity);
    case ScpiCommand::Apply:
        return applyUnit(unit);
    case ScpiCommand::Output:
        if (mustWaitForSupply(unit)) {
            waitFor(Wait::For::SupplyAnswers, unit);
            return std::nullopt;
        }
        return switchUnit(unit, instrument_.output(),
                          [this](bool on) { return instrument_.setOutput(on); });
    case ScpiCommand::ProtectionState:
        return switchUnit(unit, instrument_.tripMode(), [this](bool on) {
            instrument_.setTripMode(on);
            return QString();
        });
    case ScpiCommand::WatchdogState:
        return switchUnit(unit, instrument_.watchdog(), [this](bool on) {
            instrument_.setWatchdog(on);
            return QString();
        });
    case ScpiCommand::WatchdogDelay:
        return watchdogDelayUnit(unit);
    case ScpiCommand::EventStatusEnable:
        return registerUnit(unit, eventStatusEnable_);
    case ScpiCommand::ServiceRequestEnable: {
        const std::optional<QByteArray> answer = registerUnit(unit, serviceRequestEnable_);
        // The summary bit cannot summarize itself.
        serviceRequestEnable_ &= ~kServiceRequestBit;
        return answer;
    }
    case ScpiCommand::ProgramCount:
        return runCountUnit(unit);
    case ScpiCommand::ProgramState:
        if (mustWaitForSupply(unit)) {
            waitFor(Wait::For::SupplyAnswers, unit);
            return std::nullopt;
        }
        return runStateUnit(unit);
    default:
        break;
    }

    if (!unit.parameters.isEmpty()) {
        push(-108);
        return std::nullopt;
    }
    switch (unit.command) {
    case ScpiCommand::SystemError:
        return popError();
    case ScpiCommand::ProgramStep:
        return QByteArray::number(instrument_.runPosition().step);
    case ScpiCommand::ProgramPass:
        return QByteArray::number(instrument_.runPosition().pass);
    case ScpiCommand::SystemVersion:
        return QByteArray("1999.0");
    case ScpiCommand::MeasureVoltage:
    case ScpiCommand::FetchVoltage:
        return fetchUnit(unit, kVoltageQuantity);
    case ScpiCommand::MeasureCurrent:
    case ScpiCommand::FetchCurrent:
        return fetchUnit(unit, kCurrentQuantity);
    case ScpiCommand::ProtectionTripped:
        return QByteArray(instrument_.overCurrentTripped() ? "1" : "0");
    case ScpiCommand::OutputTripped:
        return QByteArray(instrument_.protectionTripped() ? "1" : "0");
    case ScpiCommand::ProtectionClear:
        instrument_.clearTrips();
        return std::nullopt;
    default:
        return commonUnit(unit);
    }
}

std::optional<QByteArray> ScpiSession::commonUnit(const ScpiUnit& unit) {
    switch (unit.command) {
    case ScpiCommand::Identify:
        return identity_;
    case ScpiCommand::Reset:
        reset();
        return std::nullopt;
    case ScpiCommand::ClearStatus:
        errors_.clear();
        eventStatus_ = 0;
        return std::nullopt;
    case ScpiCommand::OperationComplete:
    case ScpiCommand::Wait:
        // Done once the supply has it: a whole frame carrying every change
        // before went out.
        waitFor(Wait::For::WholeFrame, unit);
        return std::nullopt;
    case ScpiCommand::EventStatusRegister: {
        const quint8 events = eventStatus_;
        eventStatus_ = 0;
        return QByteArray::number(events);
    }
    case ScpiCommand::StatusByte:
        return QByteArray::number(statusByte());
    case ScpiCommand::SelfTest:
        // The program tests itself by running; what can fail is the supply.
        return QByteArray(instrument_.supplyAnswers() ? "0" : "1");
    default:
        // SYSTem:REMote and SYSTem:LOCal: the window is never locked.
        return std::nullopt;
    }
}

// A bench supply's reset: off, no run, the lowest harmless setpoints and
// every protection in a known state, so that a script never runs at what an
// earlier one left.
void ScpiSession::reset() {
    refuse(instrument_.setOutput(false));
    refuse(instrument_.setSetpoint(kVoltageQuantity, kResetCentivolts));
    refuse(instrument_.setSetpoint(kCurrentQuantity, kResetMilliamps));
    instrument_.setTripMode(false);
    instrument_.setWatchdog(false);
    instrument_.setWatchdogDelay(kWatchdogDelayAfterResetS);
    instrument_.setRunCount(kResetRunCount);
    instrument_.clearTrips();
    voltageStepCentivolts_ = kDefaultVoltageStepCentivolts;
    currentStepMilliamps_ = kDefaultCurrentStepMilliamps;
}

int& ScpiSession::stepOf(const SetpointQuantity& quantity) {
    return isVoltage(quantity) ? voltageStepCentivolts_ : currentStepMilliamps_;
}

std::optional<int> ScpiSession::setpointValue(const ScpiParameter& value,
                                              const SetpointQuantity& quantity, bool stepsTaken) {
    double frameUnits = 0;
    if (isMinimum(value) || isMaximum(value)) {
        frameUnits = isMinimum(value) ? 0 : quantity.frameLimit;
    } else if (isDefault(value)) {
        frameUnits = resetSetpoint(quantity);
    } else if (stepsTaken && (value.text == "UP" || value.text == "DOWN") &&
               value.kind == ScpiParameter::Kind::Word) {
        const int step = stepOf(quantity);
        frameUnits = instrument_.setpoint(quantity) + (value.text == "UP" ? step : -step);
    } else if (value.kind != ScpiParameter::Kind::Number) {
        push(value.kind == ScpiParameter::Kind::Word ? -224 : -104);
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
    return toInt16HalfEven(frameUnits);
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
        if (isMinimum(asked) || isMaximum(asked) || isDefault(asked)) {
            return quantityText(quantity, isMinimum(asked)   ? 0
                                          : isMaximum(asked) ? quantity.frameLimit
                                                             : resetSetpoint(quantity));
        }
        push(asked.kind == ScpiParameter::Kind::Word ? -224 : -104);
        return std::nullopt;
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    if (const std::optional<int> frameUnits =
            setpointValue(unit.parameters.front(), quantity, true)) {
        refuse(instrument_.setSetpoint(quantity, *frameUnits));
    }
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::stepUnit(const ScpiUnit& unit,
                                                const SetpointQuantity& quantity) {
    int& step = stepOf(quantity);
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        return quantityText(quantity, step);
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    const ScpiParameter& value = unit.parameters.front();
    if (isDefault(value)) {
        step = isVoltage(quantity) ? kDefaultVoltageStepCentivolts : kDefaultCurrentStepMilliamps;
        return std::nullopt;
    }
    // A step rounds to at least one unit of the frame: a step that moves
    // nothing would leave a sweep standing still.
    const std::optional<int> frameUnits = setpointValue(value, quantity, false);
    if (frameUnits && *frameUnits == 0) {
        push(-222);
    } else if (frameUnits) {
        step = *frameUnits;
    }
    return std::nullopt;
}

// Both setpoints or neither: a value refused leaves the other as it was.
std::optional<QByteArray> ScpiSession::applyUnit(const ScpiUnit& unit) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        return '"' + quantityText(kVoltageQuantity, instrument_.setpoint(kVoltageQuantity)) + ',' +
               quantityText(kCurrentQuantity, instrument_.setpoint(kCurrentQuantity)) + '"';
    }
    if (unit.parameters.isEmpty()) {
        push(-109);
        return std::nullopt;
    }
    if (unit.parameters.size() > 2) {
        push(-108);
        return std::nullopt;
    }
    const std::optional<int> centivolts =
        setpointValue(unit.parameters.front(), kVoltageQuantity, false);
    if (!centivolts) {
        return std::nullopt;
    }
    std::optional<int> milliamps = instrument_.setpoint(kCurrentQuantity);
    if (unit.parameters.size() == 2) {
        milliamps = setpointValue(unit.parameters.back(), kCurrentQuantity, false);
        if (!milliamps) {
            return std::nullopt;
        }
    }
    const QString refusal = instrument_.setSetpoint(kVoltageQuantity, *centivolts);
    if (!refusal.isEmpty()) {
        refuse(refusal);
        return std::nullopt;
    }
    if (unit.parameters.size() == 2) {
        refuse(instrument_.setSetpoint(kCurrentQuantity, *milliamps));
    }
    return std::nullopt;
}

// MEAS? answers from a reading taken after it; FETC? from the latest, at
// once when it is fresh.
std::optional<QByteArray> ScpiSession::fetchUnit(const ScpiUnit& unit,
                                                 const SetpointQuantity& quantity) {
    const bool measure =
        unit.command == ScpiCommand::MeasureVoltage || unit.command == ScpiCommand::MeasureCurrent;
    if (!measure) {
        if (const std::optional<QByteArray> reading = readingText(quantity)) {
            return reading;
        }
    }
    waitFor(measure ? Wait::For::Reading : Wait::For::FreshReading, unit, &quantity);
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::readingText(const SetpointQuantity& quantity) const {
    const std::optional<int> reading = instrument_.measured(quantity);
    if (!reading) {
        return std::nullopt;
    }
    return quantityText(quantity, *reading);
}

QByteArray ScpiSession::noReading() {
    push(-230);
    return kNotANumber;
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
        // A number stands for a boolean once rounded: 0 is off, any other on.
        on = roundHalfEven(value.number) != 0;
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

std::optional<QByteArray> ScpiSession::registerUnit(const ScpiUnit& unit, quint8& mask) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        return QByteArray::number(mask);
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    if (const std::optional<int> bits = wholeNumber(unit.parameters.front(), 0, 255)) {
        mask = static_cast<quint8>(*bits);
    }
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::watchdogDelayUnit(const ScpiUnit& unit) {
    if (unit.query) {
        if (unit.parameters.size() > 1) {
            push(-108);
            return std::nullopt;
        }
        if (unit.parameters.isEmpty()) {
            return QByteArray::number(instrument_.watchdogDelay());
        }
        const ScpiParameter& asked = unit.parameters.front();
        if (isMinimum(asked) || isMaximum(asked)) {
            return QByteArray::number(isMinimum(asked) ? kShortestWatchdogDelayS
                                                       : kLongestWatchdogDelayS);
        }
        push(asked.kind == ScpiParameter::Kind::Word ? -224 : -104);
        return std::nullopt;
    }
    if (!oneParameter(unit)) {
        return std::nullopt;
    }
    if (const std::optional<int> seconds =
            wholeNumber(unit.parameters.front(), kShortestWatchdogDelayS, kLongestWatchdogDelayS)) {
        instrument_.setWatchdogDelay(*seconds);
    }
    return std::nullopt;
}

std::optional<QByteArray> ScpiSession::runCountUnit(const ScpiUnit& unit) {
    if (unit.query) {
        if (!unit.parameters.isEmpty()) {
            push(-108);
            return std::nullopt;
        }
        const int passes = instrument_.runCount();
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
    if (const std::optional<int> passes = wholeNumber(value, 1, kMostPasses)) {
        instrument_.setRunCount(*passes);
    }
    return std::nullopt;
}

std::optional<int> ScpiSession::wholeNumber(const ScpiParameter& value, int least, int most) {
    if (isMinimum(value) || isMaximum(value)) {
        return isMinimum(value) ? least : most;
    }
    if (value.kind != ScpiParameter::Kind::Number) {
        push(value.kind == ScpiParameter::Kind::Word ? -224 : -104);
        return std::nullopt;
    }
    if (!value.text.isEmpty()) {
        push(-131);
        return std::nullopt;
    }
    const double whole = roundHalfEven(value.number);
    if (!(whole >= least && whole <= most)) {
        push(-222);
        return std::nullopt;
    }
    return static_cast<int>(whole);
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

// A script started with the program finds the supply still being sought:
// a switch-on waits for its first reply before it is refused.
bool ScpiSession::mustWaitForSupply(const ScpiUnit& unit) const {
    if (unit.query || supplyWaitOver_ || instrument_.supplyAnswers() ||
        unit.parameters.size() != 1) {
        return false;
    }
    const ScpiParameter& value = unit.parameters.front();
    if (unit.command == ScpiCommand::ProgramState) {
        return value.kind == ScpiParameter::Kind::Word && value.text == "RUN";
    }
    return value.kind == ScpiParameter::Kind::Number
               ? value.text.isEmpty() && roundHalfEven(value.number) != 0
               : value.kind == ScpiParameter::Kind::Word && value.text == "ON";
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
    eventStatus_ |= eventOf(code);
    if (errors_.size() >= kQueueLength) {
        eventStatus_ |= eventOf(-350);
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

quint8 ScpiSession::statusByte() const {
    quint8 status = 0;
    if (!errors_.isEmpty()) {
        status |= kErrorAvailableBit;
    }
    if ((eventStatus_ & eventStatusEnable_) != 0) {
        status |= kEventSummaryBit;
    }
    if ((status & serviceRequestEnable_ & ~kServiceRequestBit) != 0) {
        status |= kServiceRequestBit;
    }
    return status;
}
