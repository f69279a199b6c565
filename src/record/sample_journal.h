#pragma once

#include "record/sample.h"

#include <QByteArray>
#include <QByteArrayView>

// The samples of a record as lines of text, appended to a journal beside the
// measurement journal while the output is on, so that a record recovered
// after a crash gets its spreadsheet and its picture too. A line is written
// whole, ends in "\n", and carries exact values (milliseconds, the supply's
// units), never text to be parsed back from the log.

// First line: the moment the log began.
QByteArray sampleJournalStart(const RunSeries& series);
QByteArray sampleJournalLine(const Sample& sample);

// The samples back from a journal's bytes. A line cut short by a crash, or
// one damaged on the disk, is dropped; without a start line the run starts
// at its first sample.
RunSeries readSampleJournal(QByteArrayView bytes);
