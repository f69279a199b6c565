#pragma once

#include <QString>

// How a measurement log ended, as its record says it.
enum class LogEnd {
    NotNoted, // read back from a journal: the program ended without a word
    SwitchedOff,
    OverCurrentTrip,
    WatchdogTrip,
    LinkLost,
    RunCompleted,
    RunStopped,
    HandedToRun, // the manual output went on into a run, which has a log of its own
    ProgramClosed,
    StopSignal,
    Logout,
    DisplayLost,
};

// The shape of a run: its steps and passes; no steps for a manual log, no
// passes for a run that goes on until stopped.
struct RunShape {
    int steps = 0;
    int passes = 0;

    bool isRun() const { return steps > 0; }
    bool operator==(const RunShape&) const = default;
};

// Where a run stands, both counted from 1; zeros outside a run.
struct RunPosition {
    int step = 0;
    int pass = 0;

    bool operator==(const RunPosition&) const = default;
};

// The record's line where its log ended, laid out as its measurement lines:
// the time, 10 blanks, then the Chinese and the English ("… / link lost").
// A run's end says where the run stood, or how many passes it completed.
// The readings that ended it ("12.00V 0.500A" of the reply that reported
// over-current), when given, come last: that reply may have come after the
// last measurement line.
QString logEndLine(const QString& timeOfDay, LogEnd end, const RunShape& run, const RunPosition& at,
                   const QString& readings = {});

// The record's line where a run began: its steps and passes.
QString runStartLogLine(const QString& timeOfDay, const RunShape& run);

// "Run of 5 steps × 3 passes, completed", "Output on, ended by an
// over-current trip": what the record holds and how it ended, in English.
QString recordSummary(LogEnd end, const RunShape& run, const RunPosition& last);
