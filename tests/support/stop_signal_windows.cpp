#include "stop_signal.h"

bool raiseStopSignal() {
    return false;
}
