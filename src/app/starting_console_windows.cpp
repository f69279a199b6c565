#include "app/starting_console.h"

#include <cstdio>

#include <windows.h>

namespace {

bool leadsSomewhere(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

// velkor.exe is of the window subsystem, which starts without a console
// even from one. velkor-console.exe has its console already, and the attach
// is refused.
void keepStartingConsole() {
    // Standard error sent to a file or a pipe by whoever started the
    // program stays there.
    const bool errorRedirected = leadsSomewhere(GetStdHandle(STD_ERROR_HANDLE));
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!errorRedirected && std::freopen("CONOUT$", "w", stderr) != nullptr) {
        std::setvbuf(stderr, nullptr, _IONBF, 0);
    }
}
