#include "command_frame.h"

#include <algorithm>

namespace supplysim {

namespace {

std::optional<int> fourDigitField(std::string_view field) {
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<Command> parseCommand(std::string_view frame) {
    if (frame.size() != kMessageLength || !frame.starts_with(kTag)) {
        return std::nullopt;
    }
    const auto voltage = fourDigitField(frame.substr(6, 4));
    const auto current = fourDigitField(frame.substr(11, 4));
    if (!voltage || !current || *voltage > kMaxVoltageSetpoint || *current > kMaxCurrentSetpoint) {
        return std::nullopt;
    }
    Command command;
    command.voltageSetpoint = *voltage;
    command.currentSetpoint = *current;
    switch (frame[10]) {
    case 'H':
        command.mode = LimitMode::ConstantCurrent;
        break;
    case 'C':
        command.mode = LimitMode::TripOut;
        break;
    default:
        return std::nullopt;
    }
    switch (frame[15]) {
    case 'O':
        command.outputOn = true;
        break;
    case 'N':
        command.outputOn = false;
        break;
    default:
        return std::nullopt;
    }
    return command;
}

std::vector<ReceivedFrame> FrameScanner::feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<ReceivedFrame> frames;
    std::size_t position = 0;
    for (;;) {
        const std::size_t tag = pending_.find(kTag, position);
        if (tag == std::string::npos) {
            // Keep just enough for a tag that is still arriving, so garbage cannot pile up.
            const std::size_t keep = std::min(pending_.size() - position, kTag.size() - 1);
            position = pending_.size() - keep;
            break;
        }
        if (pending_.size() - tag < kMessageLength) {
            position = tag;
            break;
        }
        ReceivedFrame frame{pending_.substr(tag, kMessageLength), std::nullopt};
        frame.command = parseCommand(frame.text);
        // A malformed stretch may hide the real tag inside it (a frame that started in the middle
        // of a disturbance), so the search resumes right after its first character.
        position = frame.command ? tag + kMessageLength : tag + 1;
        frames.push_back(std::move(frame));
    }
    pending_.erase(0, position);
    return frames;
}

} // namespace supplysim
