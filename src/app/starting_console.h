#pragma once

// A program without a window started from a console (a terminal, a command
// prompt) stays in touch with it: its standard error reaches it, and so
// does Ctrl+C, as a stop signal.
void keepStartingConsole();
