#pragma once

#include "record/sample.h"

#include <QByteArray>
#include <QByteArrayView>

// The samples of a record as lines of text, appended to a journal beside the
// measurement journal while the output is on, so that a record recovered
// after a crash gets its spreadsheet and its picture too. A line is written
// whole, ends in "\n", and carries exact values (milliseconds, the supply's
// units), never text to be parsed back from the log.

// First line: the moment the log began, and for a run its steps and passes.
// A run's sample lines end in the step and the pass; journals written
// without them still read.
QByteArray sampleJournalStart(const RunSeries& series);
QByteArray sampleJournalLine(const Sample& sample);

// The samples back from a journal's bytes. A line cut short by a crash is
// dropped. A line damaged on the disk is dropped and counted: one that does
// not read, a reading or setpoint beyond the supply's limits (31.00 V,
// 5.100 A), a moment more than a day before the run's start or after the
// latest sample before it. Without a start line the run starts at its first
// sample.
RunSeries readSampleJournal(QByteArrayView bytes);
