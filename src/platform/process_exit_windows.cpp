#include "platform/process_exit.h"

#include <cstdlib>

// The C runtime that MinGW-w64 links has no quick_exit, so nothing can end
// the process through it.
void callAtProcessExit(void (*last)()) {
    std::atexit(last);
}
