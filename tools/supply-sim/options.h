#pragma once

#include "reply_block.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace supplysim {

struct Options {
    int port = 1;
    std::string dir = ".";
    double loadOhms = 10.0;
    bool silent = false;
    Faults faults;
    std::optional<double> hangupAfterSeconds;
    // Answers nothing from the first to the second number of seconds after
    // the start, as a supply switched off at its own switch for a while.
    std::optional<std::pair<double, double>> silentBetweenSeconds;
    std::string frameLog;
    unsigned seed = 1;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was usable
};

// The arguments after the program name; options are long only, "--name value" or "--name=value".
ParsedOptions parseOptions(const std::vector<std::string_view>& args);

std::string usage();

} // namespace supplysim
