#pragma once

#include "record/log_end.h"

#include <QString>

// Where a run stands as the operator and a script see it.
struct RunProgress {
    // No steps when no run drives the output.
    RunShape run;
    RunPosition at;
    // Time left in the step in force, in tenths of a second.
    int tenthsLeft = 0;
};

// "step 3 of 5 · pass 2 of 3 · 1.5 s left", or "… · pass 7 · …" for a run
// until stopped, in the window's language; empty when no run is going.
QString runProgressText(const RunProgress& progress, bool english);

// The status bar's word at the end of a run, in both languages, from the
// time of day on; empty for an end that closes the program.
QString runEndNotice(const QString& timeOfDay, LogEnd end, const RunShape& run,
                     const RunPosition& at);
