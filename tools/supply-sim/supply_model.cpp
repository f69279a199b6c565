#include "supply_model.h"

#include <cmath>

namespace supplysim {

SupplyModel::SupplyModel(double loadOhms) : loadOhms_(loadOhms) {}

void SupplyModel::apply(const Command& command) {
    command_ = command;
    if (!command_.outputOn) {
        tripped_ = false;
    } else if (command_.mode == LimitMode::TripOut && loadWantsMoreThanLimit()) {
        tripped_ = true;
    }
}

bool SupplyModel::loadWantsMoreThanLimit() const {
    // 10 mV units times 10 give mV; mV per ohm is mA.
    const double wantedMilliamps = command_.voltageSetpoint * 10.0 / loadOhms_;
    return wantedMilliamps > command_.currentSetpoint;
}

Reading SupplyModel::reading() const {
    Reading reading;
    reading.overCurrent = tripped_;
    if (!command_.outputOn || tripped_) {
        return reading;
    }
    if (loadWantsMoreThanLimit()) {
        reading.current = command_.currentSetpoint;
        // mA times ohms is mV; a tenth of that is the 10 mV unit.
        reading.voltage =
            static_cast<int>(std::lround(command_.currentSetpoint * loadOhms_ / 10.0));
    } else {
        reading.voltage = command_.voltageSetpoint;
        reading.current =
            static_cast<int>(std::lround(command_.voltageSetpoint * 10.0 / loadOhms_));
    }
    return reading;
}

} // namespace supplysim
