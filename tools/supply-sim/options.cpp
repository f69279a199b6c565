#include "options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace supplysim {

namespace {

template <typename Number> std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parsePositive(std::string_view text) {
    const auto value = parseNumber<double>(text);
    if (!value || !std::isfinite(*value) || *value <= 0.0) {
        return std::nullopt;
    }
    return value;
}

struct ValueOption {
    // Stores the value and says whether it was acceptable.
    std::function<bool(Options&, std::string_view)> store;
    const char* expected;
};

const std::map<std::string_view, ValueOption>& valueOptions() {
    static const std::map<std::string_view, ValueOption> options{
        {"port",
         {[](Options& o, std::string_view v) {
              const auto port = parseNumber<int>(v);
              o.port = port.value_or(0);
              return port && *port >= 1 && *port <= 16;
          },
          "a port number 1..16"}},
        {"dir",
         {[](Options& o, std::string_view v) {
              o.dir = v;
              return !v.empty();
          },
          "a directory"}},
        {"load-ohms",
         {[](Options& o, std::string_view v) {
              const auto ohms = parsePositive(v);
              o.loadOhms = ohms.value_or(0.0);
              return ohms.has_value();
          },
          "a resistance above 0"}},
        {"hangup-after",
         {[](Options& o, std::string_view v) {
              o.hangupAfterSeconds = parsePositive(v);
              return o.hangupAfterSeconds.has_value();
          },
          "a number of seconds above 0"}},
        {"silent-between",
         {[](Options& o, std::string_view v) {
              const std::size_t comma = v.find(',');
              if (comma == std::string_view::npos) {
                  return false;
              }
              const auto from = parseNumber<double>(v.substr(0, comma));
              const auto to = parsePositive(v.substr(comma + 1));
              if (!from || !to || *from < 0 || *to <= *from) {
                  return false;
              }
              o.silentBetweenSeconds = std::pair(*from, *to);
              return true;
          },
          "two numbers of seconds A,B with 0 <= A < B"}},
        {"frame-log",
         {[](Options& o, std::string_view v) {
              o.frameLog = v;
              return !v.empty();
          },
          "a file name"}},
        {"seed",
         {[](Options& o, std::string_view v) {
              const auto seed = parseNumber<unsigned>(v);
              o.seed = seed.value_or(0);
              return seed.has_value();
          },
          "a whole number"}},
    };
    return options;
}

const std::map<std::string_view, bool Options::*>& switchOptions() {
    static const std::map<std::string_view, bool Options::*> options{
        {"silent", &Options::silent},
        {"help", &Options::help},
    };
    return options;
}

const std::map<std::string_view, bool Faults::*>& faultSwitches() {
    static const std::map<std::string_view, bool Faults::*> options{
        {"no-tag", &Faults::noTag},
        {"ff-noise", &Faults::ffNoise},
        {"split", &Faults::split},
    };
    return options;
}

std::string parseDamaged(Options& options, std::optional<std::string_view> value) {
    if (!value) {
        options.faults.damage = Damage::EveryOther;
        return {};
    }
    const auto percent = parseNumber<int>(*value);
    if (!percent || *percent < 0 || *percent > 100) {
        return "--damaged wants a percentage 0..100, not \"" + std::string(*value) + "\"";
    }
    options.faults.damage = Damage::Percent;
    options.faults.damagePercent = *percent;
    return {};
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string_view>& args) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--") || arg.size() == 2) {
            parsed.error = "unexpected argument \"" + std::string(arg) + "\"";
            return parsed;
        }
        std::string_view name = arg.substr(2);
        std::optional<std::string_view> inlineValue;
        if (const auto equals = name.find('='); equals != std::string_view::npos) {
            inlineValue = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "damaged") {
            parsed.error = parseDamaged(options, inlineValue);
        } else if (const auto option = valueOptions().find(name); option != valueOptions().end()) {
            std::string_view value;
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                parsed.error = "--" + std::string(name) + " wants " + option->second.expected;
                return parsed;
            }
            if (!option->second.store(options, value)) {
                parsed.error = "--" + std::string(name) + " wants " + option->second.expected +
                               ", not \"" + std::string(value) + "\"";
            }
        } else if (!switchOptions().contains(name) && !faultSwitches().contains(name)) {
            parsed.error = "unknown option --" + std::string(name);
        } else if (inlineValue) {
            parsed.error = "--" + std::string(name) + " takes no value";
        } else if (const auto flag = switchOptions().find(name); flag != switchOptions().end()) {
            options.*(flag->second) = true;
        } else {
            options.faults.*(faultSwitches().at(name)) = true;
        }
        if (!parsed.error.empty()) {
            return parsed;
        }
    }
    return parsed;
}

std::string usage() {
    return R"(Usage: velkor-supply-sim [options]

Simulated Velkor supply on a pseudo-terminal. The terminal is linked as
DIR/ports/comN, where the control program looks for port N.

  --port N              port number 1..16 (default 1)
  --dir DIR             directory holding ports/ (default: current directory)
  --load-ohms R         resistive load on the output (default 10)
  --frame-log FILE      log "<ms> <frame>" per complete frame received and
                        "<ms> bytes <n>" (all bytes received so far) every
                        second and at exit; ms is CLOCK_MONOTONIC
  --seed N              seed for the fault patterns (default 1)
  --help                show this text

Faults:
  --silent              answer nothing
  --no-tag              send the blocks without their tag
  --ff-noise            put 0xFF bytes inside and between the blocks
  --split               write each block in two parts 40 ms apart
  --damaged[=P]         spoil the "A" or the status letter of every other
                        block, or of P percent of the blocks
  --hangup-after S      hang up the line after S seconds and exit
  --silent-between A,B  answer nothing from A to B seconds after the start
)";
}

} // namespace supplysim
