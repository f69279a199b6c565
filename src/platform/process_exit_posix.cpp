#include "platform/process_exit.h"

#include <cstdlib>

void callAtProcessExit(void (*last)()) {
    std::atexit(last);
    std::at_quick_exit(last);
}
