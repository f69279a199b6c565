#include "record/sample_journal.h"

#include <QList>

#include <cstdio>

namespace {

constexpr QByteArrayView kStartTag = "velkor-samples";

bool toNumber(QByteArrayView field, qint64& value) {
    bool ok = false;
    value = field.toLongLong(&ok);
    return ok;
}

bool toInt(QByteArrayView field, int& value, int lowest) {
    qint64 wide = 0;
    if (!toNumber(field, wide) || wide < lowest || wide > 99'999) {
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

bool readSample(const QList<QByteArrayView>& fields, Sample& sample) {
    if (fields.size() != 7 || fields[6].size() != 1) {
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
           toInt(fields[2], sample.voltage, Sample::kUnreadable) &&
           toInt(fields[3], sample.current, Sample::kUnreadable) &&
           toInt(fields[4], sample.voltageSetpoint, 0) &&
           toInt(fields[5], sample.currentSetpoint, 0);
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
    char text[80];
    const int length =
        std::snprintf(text, sizeof text, "%.*s %lld %d\n", int(kStartTag.size()), kStartTag.data(),
                      static_cast<long long>(series.startMsecs), series.startUtcOffsetSeconds);
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
    char text[96];
    const int length = std::snprintf(
        text, sizeof text, "%lld %d %d %d %d %d %c\n",
        static_cast<long long>(sample.msecsSinceEpoch), sample.utcOffsetSeconds, sample.voltage,
        sample.current, sample.voltageSetpoint, sample.currentSetpoint, statusLetter(sample));
    return QByteArray(text, length);
}

RunSeries readSampleJournal(QByteArrayView bytes) {
    RunSeries series;
    bool started = false;
    for (qsizetype from = 0;;) {
        const qsizetype end = bytes.indexOf('\n', from);
        if (end < 0) {
            break;
        }
        const QList<QByteArrayView> fields = fieldsOf(bytes.sliced(from, end - from));
        from = end + 1;
        if (fields.size() == 3 && fields[0] == kStartTag) {
            qint64 msecs = 0;
            int offset = 0;
            if (toNumber(fields[1], msecs) && toOffset(fields[2], offset)) {
                series.startMsecs = msecs;
                series.startUtcOffsetSeconds = offset;
                started = true;
            }
            continue;
        }
        Sample sample;
        if (readSample(fields, sample)) {
            series.samples.append(sample);
        }
    }
    if (!started && !series.samples.isEmpty()) {
        series.startMsecs = series.samples.first().msecsSinceEpoch;
        series.startUtcOffsetSeconds = series.samples.first().utcOffsetSeconds;
    }
    return series;
}
