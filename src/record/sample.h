#pragma once

#include "record/log_end.h"

#include <QDateTime>
#include <QVector>

// One line of the measurement log as values: what a spreadsheet and the
// picture of a run are made from, so neither reads the log's text back.
struct Sample {
    // The moment of the line and the clock's offset from UTC at that moment,
    // so a run over midnight or over a change of summer time stays in order.
    qint64 msecsSinceEpoch = 0;
    int utcOffsetSeconds = 0;
    // The readings as shown, in the supply's units (10 mV, 1 mA); kUnreadable
    // when a digit field was not four digits.
    int voltage = 0;
    int current = 0;
    // The setpoints the frame carried (10 mV, 1 mA).
    int voltageSetpoint = 0;
    int currentSetpoint = 0;
    // 'W', or 'B' when the supply's last reply reported over-current; 'W'
    // while the link is lost.
    char status = 'W';
    bool linkUp = false;
    // A reply was accepted in the line's second or the one before; a stale
    // line's readings are the last ones seen, not live ones.
    bool fresh = true;
    // The run's step and pass in force, from 1; 0 outside a run.
    int step = 0;
    int pass = 0;

    static constexpr int kUnreadable = -1;

    // The readings are live ones.
    bool hasReading() const { return linkUp && fresh; }

    bool operator==(const Sample&) const = default;
};

// The samples of one record, with the moment its log began.
struct RunSeries {
    qint64 startMsecs = 0;
    int startUtcOffsetSeconds = 0;
    QVector<Sample> samples;
    // Lines of the journal it was read back from that were damaged (not
    // readable, or beyond what the supply or the run's times allow) and
    // left out.
    int damagedLines = 0;
    // The run the log is of, if any, and how the log ended.
    RunShape run;
    LogEnd end = LogEnd::NotNoted;

    // Forgets the samples, the run and the end of an earlier log.
    void begin(const QDateTime& start, const RunShape& run = {});
    bool operator==(const RunSeries&) const = default;
};

// The readings of the supply's four-digit fields, and the moment and link
// state of one log line.
Sample sampleOf(const QDateTime& moment, const QString& voltageDigits, const QString& currentDigits,
                bool overCurrent, bool linkUp, int voltageSetpoint, int currentSetpoint);
