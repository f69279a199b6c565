#pragma once

#include "record/sample.h"

#include <QByteArray>

// The record as a spreadsheet reads it (RFC 4180): a header row, then one row
// per measurement line in the same order; UTF-8, CR LF, "." as the point
// whatever the locale; the time as ISO 8601 with the date and the UTC offset,
// to the second. While the link is lost the reading and status cells are
// empty, never zero. The step and pass columns, last, are a run's and empty
// outside one.
QByteArray recordCsv(const RunSeries& series);

// "2026-12-07T17:29:32+08:00".
QByteArray isoDateTime(qint64 msecsSinceEpoch, int utcOffsetSeconds);
