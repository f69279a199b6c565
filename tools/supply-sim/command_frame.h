#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace supplysim {

// Every message in both directions starts with this tag; it is the only framing there is.
inline constexpr std::string_view kTag = "VKPPSU";
inline constexpr std::size_t kMessageLength = 16;
inline constexpr int kMaxVoltageSetpoint = 3100; // 31.00 V in 10 mV
inline constexpr int kMaxCurrentSetpoint = 5100; // 5.100 A in 1 mA

enum class LimitMode {
    ConstantCurrent, // "H": hold the current at the limit
    TripOut,         // "C": switch off when the load wants more than the limit
};

struct Command {
    int voltageSetpoint = 0; // 10 mV
    LimitMode mode = LimitMode::ConstantCurrent;
    int currentSetpoint = 0; // 1 mA
    bool outputOn = false;

    bool operator==(const Command&) const = default;
};

// The command a 16-character frame carries, or nothing when any field is out of shape or range.
std::optional<Command> parseCommand(std::string_view frame);

struct ReceivedFrame {
    std::string text;               // the 16 characters as they came
    std::optional<Command> command; // empty for a malformed stretch
};

// The program repeats its frame endlessly with nothing in between and may switch to a new frame
// at any character, so the stream can only be cut where the tag appears.
class FrameScanner {
public:
    // Every 16-character stretch that starts with the tag and is complete by now.
    std::vector<ReceivedFrame> feed(std::string_view bytes);
    std::size_t buffered() const { return pending_.size(); }

private:
    std::string pending_;
};

} // namespace supplysim
