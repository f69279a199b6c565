#pragma once

#include "command_frame.h"

namespace supplysim {

// What the supply measures at its output terminals.
struct Reading {
    int voltage = 0; // 10 mV
    int current = 0; // 1 mA
    bool overCurrent = false;

    bool operator==(const Reading&) const = default;
};

// A supply driving a fixed resistive load: constant voltage while the load draws no more than the
// limit; beyond it, either constant current at the limit (mode H) or a trip (mode C). A trip is
// latched until an "output off" command clears it, as a real supply wants the operator to
// acknowledge it before switching on again.
class SupplyModel {
public:
    explicit SupplyModel(double loadOhms);

    void apply(const Command& command);
    Reading reading() const;
    bool tripped() const { return tripped_; }

private:
    bool loadWantsMoreThanLimit() const;

    double loadOhms_;
    Command command_;
    bool tripped_ = false;
};

} // namespace supplysim
