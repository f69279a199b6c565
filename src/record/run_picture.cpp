#include "record/run_picture.h"

#include "record/record_csv.h"

#include <QFont>
#include <QLineF>
#include <QPainter>
#include <QPolygonF>
#include <QVector>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>

namespace {

constexpr int kLeftMargin = 110;
constexpr int kRightMargin = 40;
constexpr int kTopMargin = 90;
constexpr int kBottomMargin = 90;
constexpr int kPlotSpacing = 36;
// Readings further apart than this are not joined: the program was not
// logging in between.
constexpr qint64 kLongestJoinMsecs = 10'000;
// Room a time label needs on the axis.
constexpr int kPixelsPerTimeTick = 140;
// A short loss in a long run still shows as a band, not as a line that
// could pass for the grid.
constexpr int kNarrowestBandPixels = 3;

const QColor kInk{40, 40, 40};
const QColor kGridColour{225, 225, 225};

// The moments the picture computes with lie between 1970 and the end of
// 9999, whatever a damaged journal holds: no sum, difference or product of
// two of them overflows, and every one has a date to print.
constexpr qint64 kLatestMsecs = 253'402'300'799'999;
// A clock's offset from UTC lies within a day.
constexpr int kLargestOffsetSeconds = 18 * 3600;
// The supply's fields hold four digits.
constexpr int kLargestFieldValue = 9999;

qint64 boundedMsecs(qint64 msecs) {
    return std::clamp<qint64>(msecs, 0, kLatestMsecs);
}

int boundedOffset(int seconds) {
    return std::clamp(seconds, -kLargestOffsetSeconds, kLargestOffsetSeconds);
}

bool isFieldValue(int value) {
    return value >= 0 && value <= kLargestFieldValue;
}

// Divisions that round towards the larger number, for negative ones too.
qint64 ceilDiv(qint64 dividend, qint64 divisor) {
    const qint64 quotient = dividend / divisor;
    return quotient + (dividend % divisor > 0 ? 1 : 0);
}

// The smallest "1, 2 or 5 times a power of ten" step that divides `top` into
// at most `most` parts.
int valueStep(int top, int most) {
    for (int power = 1;; power *= 10) {
        for (const int factor : {1, 2, 5}) {
            if (top <= factor * power * most) {
                return factor * power;
            }
        }
    }
}

// A scale from 0 that holds every value with a little room above it, so the
// highest never runs along the frame, in whole steps, never less than `least`.
int scaleTop(int highest, int least) {
    const int top = std::max(highest + highest / 20 + 1, least);
    const int step = valueStep(top, 6);
    return (top + step - 1) / step * step;
}

struct Column {
    int low = 0;
    int high = 0;
    int first = 0;
    int last = 0;
    bool any = false;
    // Whether the trace comes into this column from the column before it.
    bool joined = false;
};

// Reduces one trace to its pixel columns in a single pass. A line that is
// not `usable` breaks the trace; one whose value is no field value is left
// out.
template <typename Value, typename Usable>
QVector<Column> columnsOf(const RunSeries& series, const RunPictureGeometry& geometry, int width,
                          Value valueOf, Usable usable) {
    QVector<Column> columns(width);
    bool broken = true;
    qint64 previous = 0;
    for (const Sample& sample : series.samples) {
        const int value = valueOf(sample);
        if (!usable(sample) || !isFieldValue(value)) {
            broken = broken || !usable(sample);
            continue;
        }
        const qint64 msecs = boundedMsecs(sample.msecsSinceEpoch);
        if (msecs - previous > kLongestJoinMsecs) {
            broken = true;
        }
        previous = msecs;
        Column& column = columns[geometry.column(msecs)];
        if (!column.any) {
            column = {value, value, value, value, true, !broken};
        } else {
            column.low = std::min(column.low, value);
            column.high = std::max(column.high, value);
            column.last = value;
        }
        broken = false;
    }
    return columns;
}

void drawTrace(QPainter& painter, const QVector<Column>& columns, int left,
               const std::function<double(int)>& y, const QColor& colour) {
    QVector<QLineF> lines;
    lines.reserve(columns.size() * 2);
    int previous = -1;
    for (int c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (!column.any) {
            continue;
        }
        const double x = left + c + 0.5;
        if (column.joined && previous >= 0) {
            lines.append(
                QLineF(left + previous + 0.5, y(columns[previous].last), x, y(column.first)));
        }
        lines.append(QLineF(x, y(column.low), x, y(column.high)));
        previous = c;
    }
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap));
    painter.drawLines(lines);
}

QPen setpointPen(const QColor& colour) {
    QPen pen(colour, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::BevelJoin);
    pen.setDashPattern({4, 3});
    return pen;
}

// A setpoint as a dashed line. Each joined stretch is one polyline, so the
// dashes run on across the pixel columns instead of starting anew in each.
void drawSetpointTrace(QPainter& painter, const QVector<Column>& columns, int left,
                       const std::function<double(int)>& y, const QColor& colour) {
    painter.setPen(setpointPen(colour));
    QPolygonF stretch;
    const auto finish = [&] {
        if (stretch.size() > 1) {
            painter.drawPolyline(stretch);
        }
        stretch.clear();
    };
    for (int c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (!column.any) {
            continue;
        }
        if (!column.joined) {
            finish();
        }
        const double x = left + c + 0.5;
        stretch.append(QPointF(x, y(column.first)));
        if (column.low != column.high) {
            stretch.append(QPointF(x, y(column.low)));
            stretch.append(QPointF(x, y(column.high)));
        }
        stretch.append(QPointF(x, y(column.last)));
    }
    finish();
}

// A tick label for a count of hundredths or thousandths, with no more
// places than the step needs: "2.5" rather than "2.500".
QString tickLabel(int value, int places, int step) {
    int scale = 1;
    for (int i = 0; i < places; ++i) {
        scale *= 10;
    }
    int shown = places;
    for (; shown > 0 && step % 10 == 0; --shown) {
        step /= 10;
    }
    return QString::number(double(value) / scale, 'f', shown);
}

void drawValueAxis(QPainter& painter, const QRect& plot, int top, int places, const QString& title,
                   const QColor& colour) {
    const int step = valueStep(top, 6);
    const QFontMetrics metrics = painter.fontMetrics();
    for (int value = 0; value <= top; value += step) {
        const double y = plot.bottom() + 1 - double(value) / top * plot.height();
        painter.setPen(kGridColour);
        painter.drawLine(QLineF(plot.left(), y, plot.right(), y));
        painter.setPen(kInk);
        painter.drawLine(QLineF(plot.left() - 6, y, plot.left(), y));
        painter.drawText(QRectF(0, y - metrics.height(), plot.left() - 10, 2 * metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, tickLabel(value, places, step));
    }
    painter.save();
    painter.setPen(colour);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.translate(22, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, -14, plot.height(), 28), Qt::AlignCenter, title);
    painter.restore();
}

// Clock-time steps of the time axis, in seconds.
constexpr std::array<qint64, 20> kTimeSteps = {1,     2,     5,     10,    15,     30,    60,
                                               120,   300,   600,   900,   1800,   3600,  7200,
                                               10800, 21600, 43200, 86400, 172800, 604800};
constexpr qint64 kDaySeconds = 86400;

// The step between time ticks: the smallest that leaves at most `most`
// ticks. A span beyond the steps (a damaged journal's) is cut in whole days.
qint64 timeStep(qint64 spanSeconds, qint64 most) {
    for (const qint64 candidate : kTimeSteps) {
        if (spanSeconds / candidate <= most) {
            return candidate;
        }
    }
    return ceilDiv(ceilDiv(spanSeconds, most), kDaySeconds) * kDaySeconds;
}

void drawTimeAxis(QPainter& painter, const RunSeries& series, const RunPictureGeometry& geometry) {
    const QRect& plot = geometry.currentPlot;
    const qint64 spanSeconds = (geometry.lastMsecs - geometry.firstMsecs) / 1000;
    const qint64 step = timeStep(spanSeconds, std::max(2, plot.width() / kPixelsPerTimeTick));
    const int offset = boundedOffset(series.startUtcOffsetSeconds);
    const QByteArray firstIso = isoDateTime(geometry.firstMsecs, offset);
    const QByteArray lastIso = isoDateTime(geometry.lastMsecs, offset);
    const bool severalDays = firstIso.left(10) != lastIso.left(10);
    const bool severalYears = firstIso.left(4) != lastIso.left(4);
    // Ticks fall on round clock times of the run's own zone, from the first
    // whole second inside the plot on; each is labelled in the clock time of
    // the line logged last before it.
    const qint64 firstLocal = ceilDiv(geometry.firstMsecs, 1000) + offset;
    qint64 tick = ceilDiv(firstLocal, step) * step - offset;
    int tickOffset = offset;
    qsizetype passed = 0;
    const QFontMetrics metrics = painter.fontMetrics();
    for (; tick * 1000 <= geometry.lastMsecs; tick += step) {
        const qint64 msecs = tick * 1000;
        for (; passed < series.samples.size() &&
               boundedMsecs(series.samples[passed].msecsSinceEpoch) <= msecs;
             ++passed) {
            tickOffset = boundedOffset(series.samples[passed].utcOffsetSeconds);
        }
        const double x = geometry.xOf(msecs) + 0.5;
        painter.setPen(kGridColour);
        painter.drawLine(QLineF(x, geometry.voltagePlot.top(), x, geometry.voltagePlot.bottom()));
        painter.drawLine(QLineF(x, plot.top(), x, plot.bottom()));
        painter.setPen(kInk);
        painter.drawLine(QLineF(x, plot.bottom() + 1, x, plot.bottom() + 7));
        const QString iso = QString::fromLatin1(isoDateTime(msecs, tickOffset));
        QString label = step < 60 ? iso.mid(11, 8) : iso.mid(11, 5);
        if (step >= kDaySeconds) {
            label = severalYears ? iso.left(10) : iso.mid(5, 5);
        } else if (severalDays) {
            label = iso.mid(5, 5) + QLatin1Char(' ') + label;
        }
        painter.drawText(QRectF(x - kPixelsPerTimeTick / 2.0, plot.bottom() + 10,
                                kPixelsPerTimeTick, metrics.height()),
                         Qt::AlignCenter, label);
    }
    const QString zone = QString::fromLatin1(isoDateTime(0, offset).mid(19));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 14 + metrics.height(), plot.width(),
                            metrics.height() + 4),
                     Qt::AlignCenter, QStringLiteral("Clock time (UTC%1)").arg(zone));
}

QString twoDigits(qint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// "45 s", "12 min 05 s", "2 h 05 min 30 s", "6 d 23 h 59 min".
QString durationText(qint64 msecs) {
    const qint64 seconds = std::max<qint64>(msecs, 0) / 1000;
    const qint64 days = seconds / kDaySeconds;
    const qint64 hours = seconds / 3600 % 24;
    const qint64 minutes = seconds / 60 % 60;
    if (days > 0) {
        return QStringLiteral("%1 d %2 h %3 min")
            .arg(days)
            .arg(twoDigits(hours), twoDigits(minutes));
    }
    if (hours > 0) {
        return QStringLiteral("%1 h %2 min %3 s")
            .arg(hours)
            .arg(twoDigits(minutes), twoDigits(seconds % 60));
    }
    if (minutes > 0) {
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(twoDigits(seconds % 60));
    }
    return QStringLiteral("%1 s").arg(seconds);
}

// "Monday 7 December 2026, 17:29:32", in the clock time of `offsetSeconds`.
QString momentText(qint64 msecs, int offsetSeconds) {
    using namespace std::chrono;
    static constexpr std::array<const char*, 7> kWeekdays = {
        "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static constexpr std::array<const char*, 12> kMonths = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    const sys_seconds local{floor<seconds>(milliseconds(msecs)) + seconds(offsetSeconds)};
    const sys_days midnight = floor<days>(local);
    const year_month_day date{midnight};
    const hh_mm_ss<seconds> time{local - midnight};
    return QStringLiteral("%1 %2 %3 %4, %5:%6:%7")
        .arg(QLatin1String(kWeekdays[weekday(midnight).c_encoding()]))
        .arg(unsigned(date.day()))
        .arg(QLatin1String(kMonths[unsigned(date.month()) - 1]))
        .arg(int(date.year()))
        .arg(twoDigits(time.hours().count()), twoDigits(time.minutes().count()),
             twoDigits(time.seconds().count()));
}

void drawTitle(QPainter& painter, const RunSeries& series, const QString& recordName,
               const QSize& size) {
    QFont font = painter.font();
    font.setPixelSize(24);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(kInk);
    painter.drawText(QRect(0, 12, size.width(), 32), Qt::AlignCenter, runPictureTitle(series));
    font.setPixelSize(16);
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(QRect(0, 48, size.width(), 24), Qt::AlignCenter,
                     runPictureSubtitle(series, recordName));
}

// The stretches logged while the link was lost, filled across both plots. A
// stretch runs from its first line to the line after its last, or a second
// past its last when no line follows soon.
void drawLinkLost(QPainter& painter, const RunSeries& series, const RunPictureGeometry& geometry) {
    const int width = geometry.voltagePlot.width();
    // +1 where a stretch's columns begin, -1 after they end.
    QVector<int> edges(width + 1);
    const QVector<Sample>& samples = series.samples;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        if (samples[i].linkUp) {
            continue;
        }
        const qint64 from = boundedMsecs(samples[i].msecsSinceEpoch);
        qint64 to = from;
        for (;; ++i) {
            const qint64 lost = boundedMsecs(samples[i].msecsSinceEpoch);
            to = lost + 1000;
            if (i + 1 == samples.size()) {
                break;
            }
            const qint64 next = boundedMsecs(samples[i + 1].msecsSinceEpoch);
            if (next <= lost || next - lost > kLongestJoinMsecs) {
                break;
            }
            to = next;
            if (samples[i + 1].linkUp) {
                break;
            }
        }
        // A loss at the end runs to the plot's edge.
        const int end = to > geometry.lastMsecs ? width : geometry.column(to);
        const int last = std::min(
            std::max(end - 1, geometry.column(from) + kNarrowestBandPixels - 1), width - 1);
        const int first =
            std::max(0, std::min(geometry.column(from), last + 1 - kNarrowestBandPixels));
        ++edges[first];
        --edges[last + 1];
    }
    int depth = 0;
    int bandStart = -1;
    for (int c = 0; c <= width; ++c) {
        depth += edges[c];
        if (depth > 0 && bandStart < 0) {
            bandStart = c;
        } else if (depth <= 0 && bandStart >= 0) {
            for (const QRect& plot : {geometry.voltagePlot, geometry.currentPlot}) {
                painter.fillRect(
                    QRect(plot.left() + bandStart, plot.top(), c - bandStart, plot.height()),
                    kLinkLostColour);
            }
            bandStart = -1;
        }
    }
}

// A line across both plots where each pass after the first began, named at
// the top of the voltage plot where the name has room.
void drawPassMarks(QPainter& painter, const RunSeries& series, const RunPictureGeometry& geometry) {
    painter.setPen(QPen(kPassMarkColour, 2));
    const QFontMetrics metrics = painter.fontMetrics();
    int pass = 1;
    double nameEnd = geometry.voltagePlot.left();
    for (const qint64 msecs : passBoundaries(series)) {
        ++pass;
        const double x = geometry.xOf(boundedMsecs(msecs)) + 0.5;
        for (const QRect& plot : {geometry.voltagePlot, geometry.currentPlot}) {
            painter.drawLine(QLineF(x, plot.top(), x, plot.bottom()));
        }
        const QString name = QStringLiteral("pass %1").arg(pass);
        if (x + 4 >= nameEnd) {
            painter.drawText(QPointF(x + 4, geometry.voltagePlot.top() + metrics.ascent()), name);
            nameEnd = x + 4 + metrics.horizontalAdvance(name) + 8;
        }
    }
}

// Each reading as a dot over its trace, and its setpoint as a short dash
// under it: a line of one reading has no length to draw.
template <typename Value, typename Setpoint>
void drawReadingPoints(QPainter& painter, const RunSeries& series,
                       const RunPictureGeometry& geometry, Value valueOf, Setpoint setpointOf,
                       const std::function<double(int)>& y, const QColor& colour,
                       const QColor& setpointColour) {
    for (const Sample& sample : series.samples) {
        const double x = geometry.xOf(boundedMsecs(sample.msecsSinceEpoch)) + 0.5;
        const int setpoint = setpointOf(sample);
        if (isFieldValue(setpoint)) {
            painter.setPen(QPen(setpointColour, 2));
            painter.drawLine(QLineF(x - 8, y(setpoint), x + 8, y(setpoint)));
        }
        const int value = valueOf(sample);
        if (sample.hasReading() && isFieldValue(value)) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(QPointF(x, y(value)), 4.0, 4.0);
            painter.setBrush(Qt::NoBrush);
        }
    }
}

void drawLegend(QPainter& painter, const RunPictureGeometry& geometry, const QSize& size,
                bool run) {
    const int y = size.height() - 26;
    int x = geometry.currentPlot.left();
    const QFontMetrics metrics = painter.fontMetrics();
    enum class Mark { Line, Dashes, Band };
    const auto entry = [&](const QColor& colour, const QString& text, Mark mark) {
        if (mark == Mark::Band) {
            painter.fillRect(QRect(x, y - 7, 28, 14), colour);
        } else {
            painter.setPen(mark == Mark::Line ? QPen(colour, 3) : setpointPen(colour));
            painter.drawLine(x, y, x + 28, y);
        }
        painter.setPen(kInk);
        painter.drawText(x + 36, y + metrics.ascent() / 2 - 1, text);
        x += 36 + metrics.horizontalAdvance(text) + 32;
    };
    entry(kVoltageTraceColour, QStringLiteral("Voltage (V)"), Mark::Line);
    entry(kVoltageSetpointColour, QStringLiteral("Voltage setpoint"), Mark::Dashes);
    entry(kCurrentTraceColour, QStringLiteral("Current (A)"), Mark::Line);
    entry(kCurrentSetpointColour, QStringLiteral("Current limit"), Mark::Dashes);
    entry(kLinkLostColour, QStringLiteral("Link lost"), Mark::Band);
    if (run) {
        entry(kPassMarkColour, QStringLiteral("Pass boundary"), Mark::Line);
    }
}

} // namespace

int RunPictureGeometry::column(qint64 msecs) const {
    const int lastColumn = voltagePlot.width() - 1;
    if (lastColumn <= 0) {
        return 0;
    }
    // In floating point: a caller's span may be anything.
    const double span = std::max(double(lastMsecs) - double(firstMsecs), 1.0);
    const double c = (double(msecs) - double(firstMsecs)) * lastColumn / span;
    return int(std::clamp(c, 0.0, double(lastColumn)));
}

double RunPictureGeometry::yOfVoltage(int tensOfMillivolts) const {
    return voltagePlot.bottom() + 1 - double(tensOfMillivolts) / voltageTop * voltagePlot.height();
}

double RunPictureGeometry::yOfCurrent(int milliamperes) const {
    return currentPlot.bottom() + 1 - double(milliamperes) / currentTop * currentPlot.height();
}

RunPictureGeometry runPictureGeometry(const RunSeries& series, QSize size) {
    RunPictureGeometry geometry;
    const int width = size.width() - kLeftMargin - kRightMargin;
    const int plotHeight = (size.height() - kTopMargin - kBottomMargin - kPlotSpacing) / 2;
    geometry.voltagePlot = QRect(kLeftMargin, kTopMargin, width, plotHeight);
    geometry.currentPlot =
        QRect(kLeftMargin, kTopMargin + plotHeight + kPlotSpacing, width, plotHeight);
    geometry.firstMsecs = boundedMsecs(series.startMsecs);
    geometry.lastMsecs = geometry.firstMsecs + 1000;
    // The scales hold the setpoints too, so a limit above the readings is
    // seen.
    int highestVoltage = 0;
    int highestCurrent = 0;
    const auto raise = [](int& highest, int value) {
        if (isFieldValue(value)) {
            highest = std::max(highest, value);
        }
    };
    for (const Sample& sample : series.samples) {
        const qint64 msecs = boundedMsecs(sample.msecsSinceEpoch);
        geometry.firstMsecs = std::min(geometry.firstMsecs, msecs);
        geometry.lastMsecs = std::max(geometry.lastMsecs, msecs);
        if (sample.hasReading()) {
            raise(highestVoltage, sample.voltage);
            raise(highestCurrent, sample.current);
        }
        raise(highestVoltage, sample.voltageSetpoint);
        raise(highestCurrent, sample.currentSetpoint);
    }
    geometry.voltageTop = scaleTop(highestVoltage, 100);
    geometry.currentTop = scaleTop(highestCurrent, 100);
    return geometry;
}

QString runPictureTitle(const RunSeries& series) {
    RunPosition last;
    if (!series.samples.isEmpty()) {
        last = {series.samples.last().step, series.samples.last().pass};
    }
    return recordSummary(series.end, series.run, last);
}

QString runPictureSubtitle(const RunSeries& series, const QString& recordName) {
    const qint64 start = boundedMsecs(series.startMsecs);
    const qint64 end =
        series.samples.isEmpty() ? start : boundedMsecs(series.samples.last().msecsSinceEpoch);
    const auto readings = std::count_if(series.samples.cbegin(), series.samples.cend(),
                                        [](const Sample& sample) { return sample.hasReading(); });
    return QStringLiteral("%1, for %2    %3    %4")
        .arg(momentText(start, boundedOffset(series.startUtcOffsetSeconds)),
             durationText(end - start), recordName,
             readings == 1 ? QStringLiteral("1 reading")
                           : QStringLiteral("%1 readings").arg(readings));
}

QVector<qint64> passBoundaries(const RunSeries& series) {
    QVector<qint64> boundaries;
    int pass = 0;
    for (const Sample& sample : series.samples) {
        if (sample.pass > pass && pass > 0) {
            boundaries.append(sample.msecsSinceEpoch);
        }
        pass = std::max(pass, sample.pass);
    }
    return boundaries;
}

QImage drawRunPicture(const RunSeries& series, const QString& recordName, QSize size) {
    size = size.expandedTo(kRunPictureSize);
    const RunPictureGeometry geometry = runPictureGeometry(series, size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);

    drawTimeAxis(painter, series, geometry);
    drawValueAxis(painter, geometry.voltagePlot, geometry.voltageTop, 2,
                  QStringLiteral("Voltage (V)"), kVoltageTraceColour);
    drawValueAxis(painter, geometry.currentPlot, geometry.currentTop, 3,
                  QStringLiteral("Current (A)"), kCurrentTraceColour);
    // Over the grid, so a lost stretch is one solid band as in the legend.
    drawLinkLost(painter, series, geometry);
    drawPassMarks(painter, series, geometry);

    painter.setRenderHint(QPainter::Antialiasing);
    const int width = geometry.voltagePlot.width();
    const auto voltageY = [&geometry](int value) { return geometry.yOfVoltage(value); };
    const auto currentY = [&geometry](int value) { return geometry.yOfCurrent(value); };
    const auto always = [](const Sample&) { return true; };
    const auto live = [](const Sample& s) { return s.hasReading(); };
    // The setpoints go under the readings: where the supply holds a setpoint
    // the reading covers it, and where it does not the dashes stand apart.
    drawSetpointTrace(
        painter,
        columnsOf(
            series, geometry, width, [](const Sample& s) { return s.voltageSetpoint; }, always),
        geometry.voltagePlot.left(), voltageY, kVoltageSetpointColour);
    drawSetpointTrace(
        painter,
        columnsOf(
            series, geometry, width, [](const Sample& s) { return s.currentSetpoint; }, always),
        geometry.currentPlot.left(), currentY, kCurrentSetpointColour);
    drawTrace(painter,
              columnsOf(
                  series, geometry, width, [](const Sample& s) { return s.voltage; }, live),
              geometry.voltagePlot.left(), voltageY, kVoltageTraceColour);
    drawTrace(painter,
              columnsOf(
                  series, geometry, width, [](const Sample& s) { return s.current; }, live),
              geometry.currentPlot.left(), currentY, kCurrentTraceColour);
    const auto readings = std::count_if(series.samples.cbegin(), series.samples.cend(), live);
    if (readings <= kMostReadingsAsPoints) {
        drawReadingPoints(
            painter, series, geometry, [](const Sample& s) { return s.voltage; },
            [](const Sample& s) { return s.voltageSetpoint; }, voltageY, kVoltageTraceColour,
            kVoltageSetpointColour);
        drawReadingPoints(
            painter, series, geometry, [](const Sample& s) { return s.current; },
            [](const Sample& s) { return s.currentSetpoint; }, currentY, kCurrentTraceColour,
            kCurrentSetpointColour);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);

    painter.setPen(kInk);
    // The frames lie just outside the plots, so no reading is hidden under them.
    painter.drawRect(geometry.voltagePlot.adjusted(-1, -1, 0, 0));
    painter.drawRect(geometry.currentPlot.adjusted(-1, -1, 0, 0));
    drawLegend(painter, geometry, size, series.run.isRun());
    drawTitle(painter, series, recordName, size);
    return image;
}
