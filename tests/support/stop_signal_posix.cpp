#include "stop_signal.h"

#include <csignal>

bool raiseStopSignal() {
    return ::raise(SIGTERM) == 0;
}
