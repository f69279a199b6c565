#pragma once

class MainWindow;

// The ways a desktop session ends a program other than by a signal. A logout
// asks the program to commit its data first: that is a close of the window;
// one that would lose a log cancels the logout where the session allows it,
// and otherwise the output stays off until the process ends. A display that
// goes away (a crashed display server or compositor, a remote session
// closed, a logout that went ahead) makes Qt end the process at once with
// exit(), from inside its event handling; the window then gets its last
// moments at the exit: the stop, whole output-off frames to the supply and
// the record saved with its spreadsheet, its journal kept for the next start
// to draw its picture; or, unsaved, its journal whole on disk. A fatal Qt
// message, which aborts, gets the same. One window at a time.
void endWithSession(MainWindow* window);

// Each stop signal is a close of the window, and the program ends when the
// window has closed, after its record is saved. A record that cannot be
// saved, or is not saved within the stop signal's wait, is waited for no
// longer: the program ends, its log left in its journal for the next start,
// and the message saying so goes to standard error too, as its box goes
// with the window. Nor is anything else the record worker does (the
// recovery of an old journal at start). From the signal on, the output is
// never switched on again, even when the close is refused.
void endOnStopSignals(MainWindow* window);
