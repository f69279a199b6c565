#include "record/record_csv.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kHeader[] =
    "time,voltage_V,current_A,voltage_setpoint_V,current_setpoint_A,status,link_up,fresh,step,"
    "pass\r\n";

// A count of hundredths or thousandths as a decimal with that many places,
// written by hand so that no locale can put a comma in it; nothing for a
// count that is no reading.
int writeFixed(char* out, int value, int places) {
    if (value < 0) {
        return 0;
    }
    const int scale = places == 2 ? 100 : 1000;
    return std::sprintf(out, "%d.%0*d", value / scale, places, value % scale);
}

void appendRow(QByteArray& csv, const Sample& sample) {
    char row[128];
    int length = 0;
    const QByteArray time = isoDateTime(sample.msecsSinceEpoch, sample.utcOffsetSeconds);
    std::memcpy(row, time.constData(), time.size());
    length += int(time.size());
    row[length++] = ',';
    const bool live = sample.hasReading();
    if (live) {
        length += writeFixed(row + length, sample.voltage, 2);
    }
    row[length++] = ',';
    if (live) {
        length += writeFixed(row + length, sample.current, 3);
    }
    row[length++] = ',';
    length += writeFixed(row + length, sample.voltageSetpoint, 2);
    row[length++] = ',';
    length += writeFixed(row + length, sample.currentSetpoint, 3);
    row[length++] = ',';
    if (live) {
        row[length++] = sample.status;
    }
    std::memcpy(row + length, sample.linkUp ? ",1" : ",0", 2);
    std::memcpy(row + length + 2, sample.fresh ? ",1," : ",0,", 3);
    length += 5;
    // Outside a run both cells are empty.
    if (sample.pass > 0) {
        length += std::sprintf(row + length, "%d,%d", sample.step, sample.pass);
    } else {
        row[length++] = ',';
    }
    std::memcpy(row + length, "\r\n", 2);
    csv.append(row, length + 2);
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

QByteArray recordCsv(const RunSeries& series) {
    QByteArray csv(kHeader);
    csv.reserve(csv.size() + series.samples.size() * 62);
    for (const Sample& sample : series.samples) {
        appendRow(csv, sample);
    }
    return csv;
}
