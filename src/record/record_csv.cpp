#include "record/record_csv.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kHeader[] =
    "time,voltage_V,current_A,voltage_setpoint_V,current_setpoint_A,status,link_up\r\n";

// A count of hundredths or thousandths as a decimal with that many places:
// written by hand so that no locale can put a comma in it.
void appendFixed(QByteArray& out, int value, int places) {
    if (value < 0) {
        return;
    }
    int scale = 1;
    for (int i = 0; i < places; ++i) {
        scale *= 10;
    }
    char text[24];
    const int length =
        std::snprintf(text, sizeof text, "%d.%0*d", value / scale, places, value % scale);
    out.append(text, length);
}

} // namespace

QByteArray isoDateTime(qint64 msecsSinceEpoch, int utcOffsetSeconds) {
    using namespace std::chrono;
    const sys_seconds local{floor<seconds>(milliseconds(msecsSinceEpoch)) +
                            seconds(utcOffsetSeconds)};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{local - day};
    const int offsetMinutes = std::abs(utcOffsetSeconds) / 60;
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d%c%02d:%02d",
                                     int(date.year()), unsigned(date.month()), unsigned(date.day()),
                                     int(time.hours().count()), int(time.minutes().count()),
                                     int(time.seconds().count()), utcOffsetSeconds < 0 ? '-' : '+',
                                     offsetMinutes / 60, offsetMinutes % 60);
    return QByteArray(text, length);
}

QByteArray recordCsvRow(const Sample& sample) {
    QByteArray row = isoDateTime(sample.msecsSinceEpoch, sample.utcOffsetSeconds);
    row += ',';
    if (sample.linkUp) {
        appendFixed(row, sample.voltage, 2);
    }
    row += ',';
    if (sample.linkUp) {
        appendFixed(row, sample.current, 3);
    }
    row += ',';
    appendFixed(row, sample.voltageSetpoint, 2);
    row += ',';
    appendFixed(row, sample.currentSetpoint, 3);
    row += ',';
    if (sample.linkUp) {
        row += sample.status;
    }
    row += sample.linkUp ? ",1\r\n" : ",0\r\n";
    return row;
}

QByteArray recordCsv(const RunSeries& series) {
    QByteArray csv(kHeader);
    csv.reserve(csv.size() + series.samples.size() * 56);
    for (const Sample& sample : series.samples) {
        csv += recordCsvRow(sample);
    }
    return csv;
}
