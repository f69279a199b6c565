#include "app/starting_console.h"

// A POSIX program keeps the terminal it was started from by itself.
void keepStartingConsole() {}
