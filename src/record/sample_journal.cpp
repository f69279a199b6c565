#include "record/sample_journal.h"

#include "link/frame.h"

#include <QList>

#include <algorithm>
#include <cstdio>

namespace {

constexpr QByteArrayView kStartTag = "velkor-samples";
constexpr qint64 kDayMsecs = 86'400'000;
// The last moment of the year 9999: a start beyond it is damage, and every
// moment within a day of one before it stays clear of overflow in any
// arithmetic on times.
constexpr qint64 kLatestStartMsecs = 253'402'300'799'999;

bool toNumber(QByteArrayView field, qint64& value) {
    bool ok = false;
    value = field.toLongLong(&ok);
    return ok;
}

bool toInt(QByteArrayView field, int& value, int lowest, int highest) {
    qint64 wide = 0;
    if (!toNumber(field, wide) || wide < lowest || wide > highest) {
        return false;
    }
    value = int(wide);
    return true;
}

// Offsets from UTC lie within a day either way.
bool toOffset(QByteArrayView field, int& value) {
    qint64 wide = 0;
    if (!toNumber(field, wide) || wide < -86'400 || wide > 86'400) {
        return false;
    }
    value = int(wide);
    return true;
}

// A run's tables hold at most this many rows, and it makes at most this
// many passes unless endless; a journal's numbers beyond are damage.
constexpr int kMostSteps = 1'000'000;
constexpr int kMostPasses = 1'000'000'000;

// Readings and setpoints within what the supply can do; a reading may also
// be one that could not be read. A run's step and pass are both there or
// neither.
bool readSample(const QList<QByteArrayView>& fields, Sample& sample) {
    if ((fields.size() != 7 && fields.size() != 9) || fields[6].size() != 1) {
        return false;
    }
    if (fields.size() == 9 && !(toInt(fields[7], sample.step, 1, kMostSteps) &&
                                toInt(fields[8], sample.pass, 1, kMostPasses))) {
        return false;
    }
    // A stale line's status is in lower case.
    const char written = fields[6].front();
    const char status = written == 'w' ? 'W' : written == 'b' ? 'B' : written;
    if (status != 'W' && status != 'B' && status != '-') {
        return false;
    }
    sample.linkUp = status != '-';
    sample.fresh = sample.linkUp && written == status;
    sample.status = sample.linkUp ? status : 'W';
    return toNumber(fields[0], sample.msecsSinceEpoch) &&
           toOffset(fields[1], sample.utcOffsetSeconds) &&
           toInt(fields[2], sample.voltage, Sample::kUnreadable, kVoltageFieldLimit) &&
           toInt(fields[3], sample.current, Sample::kUnreadable, kCurrentFieldLimit) &&
           toInt(fields[4], sample.voltageSetpoint, 0, kVoltageFieldLimit) &&
           toInt(fields[5], sample.currentSetpoint, 0, kCurrentFieldLimit);
}

QList<QByteArrayView> fieldsOf(QByteArrayView line) {
    QList<QByteArrayView> fields;
    for (qsizetype from = 0;;) {
        const qsizetype blank = line.indexOf(' ', from);
        fields.append(line.sliced(from, (blank < 0 ? line.size() : blank) - from));
        if (blank < 0) {
            return fields;
        }
        from = blank + 1;
    }
}

} // namespace

QByteArray sampleJournalStart(const RunSeries& series) {
    char text[96];
    int length =
        std::snprintf(text, sizeof text, "%.*s %lld %d", int(kStartTag.size()), kStartTag.data(),
                      static_cast<long long>(series.startMsecs), series.startUtcOffsetSeconds);
    if (series.run.isRun()) {
        length += std::snprintf(text + length, sizeof text - length, " %d %d", series.run.steps,
                                series.run.passes);
    }
    text[length++] = '\n';
    return QByteArray(text, length);
}

namespace {

char statusLetter(const Sample& sample) {
    if (!sample.linkUp) {
        return '-';
    }
    return sample.fresh ? sample.status : char(sample.status - 'A' + 'a');
}

} // namespace

QByteArray sampleJournalLine(const Sample& sample) {
    char text[128];
    int length = std::snprintf(
        text, sizeof text, "%lld %d %d %d %d %d %c", static_cast<long long>(sample.msecsSinceEpoch),
        sample.utcOffsetSeconds, sample.voltage, sample.current, sample.voltageSetpoint,
        sample.currentSetpoint, statusLetter(sample));
    if (sample.pass > 0) {
        length +=
            std::snprintf(text + length, sizeof text - length, " %d %d", sample.step, sample.pass);
    }
    text[length++] = '\n';
    return QByteArray(text, length);
}

RunSeries readSampleJournal(QByteArrayView bytes) {
    RunSeries series;
    bool started = false;
    // The run's moments so far: a sample more than a day before its start
    // or after the latest one before it is damage, as is any line that
    // does not read.
    qint64 latestMsecs = 0;
    for (qsizetype from = 0;;) {
        const qsizetype end = bytes.indexOf('\n', from);
        if (end < 0) {
            break;
        }
        const QList<QByteArrayView> fields = fieldsOf(bytes.sliced(from, end - from));
        from = end + 1;
        if ((fields.size() == 3 || fields.size() == 5) && fields[0] == kStartTag && !started &&
            series.samples.isEmpty()) {
            qint64 msecs = 0;
            int offset = 0;
            RunShape run;
            const bool runRead =
                fields.size() == 3 || (toInt(fields[3], run.steps, 1, kMostSteps) &&
                                       toInt(fields[4], run.passes, 0, kMostPasses));
            if (toNumber(fields[1], msecs) && msecs >= 0 && msecs <= kLatestStartMsecs &&
                toOffset(fields[2], offset) && runRead) {
                series.startMsecs = latestMsecs = msecs;
                series.startUtcOffsetSeconds = offset;
                series.run = run;
                started = true;
            } else {
                ++series.damagedLines;
            }
            continue;
        }
        Sample sample;
        if (!readSample(fields, sample)) {
            ++series.damagedLines;
            continue;
        }
        if (!started && series.samples.isEmpty()) {
            // Without a start line the run starts at its first reading.
            if (sample.msecsSinceEpoch < 0 || sample.msecsSinceEpoch > kLatestStartMsecs) {
                ++series.damagedLines;
                continue;
            }
            series.startMsecs = latestMsecs = sample.msecsSinceEpoch;
            series.startUtcOffsetSeconds = sample.utcOffsetSeconds;
        }
        if (sample.msecsSinceEpoch < series.startMsecs - kDayMsecs ||
            sample.msecsSinceEpoch > latestMsecs + kDayMsecs) {
            ++series.damagedLines;
            continue;
        }
        latestMsecs = std::max(latestMsecs, sample.msecsSinceEpoch);
        series.samples.append(sample);
    }
    return series;
}
