#include "record/sample.h"

namespace {

int fourDigits(const QString& field) {
    if (field.size() != 4) {
        return Sample::kUnreadable;
    }
    int value = 0;
    for (const QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return Sample::kUnreadable;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

void RunSeries::begin(const QDateTime& start, const RunShape& shape) {
    startMsecs = start.toMSecsSinceEpoch();
    startUtcOffsetSeconds = start.offsetFromUtc();
    samples.clear();
    damagedLines = 0;
    run = shape;
    end = LogEnd::NotNoted;
}

Sample sampleOf(const QDateTime& moment, const QString& voltageDigits, const QString& currentDigits,
                bool overCurrent, bool linkUp, int voltageSetpoint, int currentSetpoint) {
    Sample sample;
    sample.msecsSinceEpoch = moment.toMSecsSinceEpoch();
    sample.utcOffsetSeconds = moment.offsetFromUtc();
    sample.voltage = fourDigits(voltageDigits);
    sample.current = fourDigits(currentDigits);
    sample.voltageSetpoint = voltageSetpoint;
    sample.currentSetpoint = currentSetpoint;
    sample.status = linkUp && overCurrent ? 'B' : 'W';
    sample.linkUp = linkUp;
    sample.fresh = linkUp;
    return sample;
}
