#include "record/run_picture.h"

#include "record/record_csv.h"

#include <QFont>
#include <QLineF>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <array>
#include <cstdio>
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

const QColor kInk{40, 40, 40};
const QColor kGridColour{225, 225, 225};

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

// A scale from 0 that holds every reading with a little room above it, so the
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

// Reduces one trace to its pixel columns in a single pass.
template <typename Reading>
QVector<Column> columnsOf(const RunSeries& series, const RunPictureGeometry& geometry, int width,
                          Reading reading) {
    QVector<Column> columns(width);
    bool broken = true;
    qint64 previous = 0;
    for (const Sample& sample : series.samples) {
        const int value = reading(sample);
        if (!sample.hasReading() || value < 0) {
            broken = broken || !sample.hasReading();
            continue;
        }
        if (sample.msecsSinceEpoch - previous > kLongestJoinMsecs) {
            broken = true;
        }
        previous = sample.msecsSinceEpoch;
        Column& column = columns[geometry.column(sample.msecsSinceEpoch)];
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

int offsetAt(const RunSeries& series, qint64 msecs) {
    const auto after = std::upper_bound(
        series.samples.begin(), series.samples.end(), msecs,
        [](qint64 time, const Sample& sample) { return time < sample.msecsSinceEpoch; });
    if (after == series.samples.begin()) {
        return series.startUtcOffsetSeconds;
    }
    return std::prev(after)->utcOffsetSeconds;
}

void drawTimeAxis(QPainter& painter, const RunSeries& series, const RunPictureGeometry& geometry) {
    const QRect& plot = geometry.currentPlot;
    const qint64 spanSeconds = (geometry.lastMsecs - geometry.firstMsecs) / 1000;
    const qint64 most = std::max(2, plot.width() / kPixelsPerTimeTick);
    qint64 step = kTimeSteps.back();
    for (const qint64 candidate : kTimeSteps) {
        if (spanSeconds / candidate <= most) {
            step = candidate;
            break;
        }
    }
    const int offset = series.startUtcOffsetSeconds;
    const bool severalDays = isoDateTime(geometry.firstMsecs, offset).left(10) !=
                             isoDateTime(geometry.lastMsecs, offset).left(10);
    // Ticks fall on round clock times of the run's own zone, from the first
    // whole second inside the plot on.
    const qint64 firstLocal = (geometry.firstMsecs + 999) / 1000 + offset;
    qint64 tick = (firstLocal + step - 1) / step * step - offset;
    const QFontMetrics metrics = painter.fontMetrics();
    for (; tick * 1000 <= geometry.lastMsecs; tick += step) {
        const qint64 msecs = tick * 1000;
        const double x = geometry.xOf(msecs) + 0.5;
        painter.setPen(kGridColour);
        painter.drawLine(QLineF(x, geometry.voltagePlot.top(), x, geometry.voltagePlot.bottom()));
        painter.drawLine(QLineF(x, plot.top(), x, plot.bottom()));
        painter.setPen(kInk);
        painter.drawLine(QLineF(x, plot.bottom() + 1, x, plot.bottom() + 7));
        const QString iso = QString::fromLatin1(isoDateTime(msecs, offsetAt(series, msecs)));
        QString label = step < 60 ? iso.mid(11, 8) : iso.mid(11, 5);
        if (step >= 86400) {
            label = iso.mid(5, 5);
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

QString durationText(qint64 msecs) {
    const qint64 seconds = msecs / 1000;
    char text[40];
    const qint64 days = seconds / 86400;
    if (days > 0) {
        std::snprintf(text, sizeof text, "%lld d %02lld:%02lld:%02lld",
                      static_cast<long long>(days), static_cast<long long>(seconds / 3600 % 24),
                      static_cast<long long>(seconds / 60 % 60),
                      static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(
            text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    }
    return QString::fromLatin1(text);
}

void drawTitle(QPainter& painter, const RunSeries& series, const QString& recordName,
               const QSize& size) {
    QFont font = painter.font();
    font.setPixelSize(24);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(kInk);
    painter.drawText(QRect(0, 12, size.width(), 32), Qt::AlignCenter, recordName);
    font.setPixelSize(16);
    font.setBold(false);
    painter.setFont(font);
    QString start =
        QString::fromLatin1(isoDateTime(series.startMsecs, series.startUtcOffsetSeconds));
    start[10] = QLatin1Char(' ');
    start.insert(19, QLatin1Char(' '));
    const qint64 end =
        series.samples.isEmpty() ? series.startMsecs : series.samples.last().msecsSinceEpoch;
    painter.drawText(QRect(0, 48, size.width(), 24), Qt::AlignCenter,
                     QStringLiteral("Start %1    Duration %2    %3 readings")
                         .arg(start, durationText(end - series.startMsecs))
                         .arg(series.samples.size()));
}

void drawLinkLost(QPainter& painter, const RunSeries& series, const RunPictureGeometry& geometry) {
    QVector<bool> lost(geometry.voltagePlot.width());
    for (const Sample& sample : series.samples) {
        if (!sample.linkUp) {
            lost[geometry.column(sample.msecsSinceEpoch)] = true;
        }
    }
    for (int c = 0; c < lost.size();) {
        if (!lost[c]) {
            ++c;
            continue;
        }
        int end = c;
        while (end < lost.size() && lost[end]) {
            ++end;
        }
        for (const QRect& plot : {geometry.voltagePlot, geometry.currentPlot}) {
            painter.fillRect(QRect(plot.left() + c, plot.top(), end - c, plot.height()),
                             kLinkLostColour);
        }
        c = end;
    }
}

void drawLegend(QPainter& painter, const RunPictureGeometry& geometry, const QSize& size) {
    const int y = size.height() - 26;
    int x = geometry.currentPlot.left();
    const QFontMetrics metrics = painter.fontMetrics();
    const auto entry = [&](const QColor& colour, const QString& text, bool band) {
        if (band) {
            painter.fillRect(QRect(x, y - 7, 28, 14), colour);
        } else {
            painter.setPen(QPen(colour, 3));
            painter.drawLine(x, y, x + 28, y);
        }
        painter.setPen(kInk);
        painter.drawText(x + 36, y + metrics.ascent() / 2 - 1, text);
        x += 36 + metrics.horizontalAdvance(text) + 32;
    };
    entry(kVoltageTraceColour, QStringLiteral("Voltage (V)"), false);
    entry(kCurrentTraceColour, QStringLiteral("Current (A)"), false);
    entry(kLinkLostColour, QStringLiteral("Link lost"), true);
}

} // namespace

int RunPictureGeometry::column(qint64 msecs) const {
    const qint64 span = std::max<qint64>(lastMsecs - firstMsecs, 1);
    const qint64 width = voltagePlot.width();
    const qint64 c = (msecs - firstMsecs) * (width - 1) / span;
    return int(std::clamp<qint64>(c, 0, width - 1));
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
    geometry.firstMsecs = series.startMsecs;
    geometry.lastMsecs = series.startMsecs + 1000;
    int highestVoltage = 0;
    int highestCurrent = 0;
    for (const Sample& sample : series.samples) {
        geometry.firstMsecs = std::min(geometry.firstMsecs, sample.msecsSinceEpoch);
        geometry.lastMsecs = std::max(geometry.lastMsecs, sample.msecsSinceEpoch);
        if (sample.hasReading()) {
            highestVoltage = std::max(highestVoltage, sample.voltage);
            highestCurrent = std::max(highestCurrent, sample.current);
        }
    }
    geometry.voltageTop = scaleTop(highestVoltage, 100);
    geometry.currentTop = scaleTop(highestCurrent, 100);
    return geometry;
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

    drawLinkLost(painter, series, geometry);
    drawTimeAxis(painter, series, geometry);
    drawValueAxis(painter, geometry.voltagePlot, geometry.voltageTop, 2,
                  QStringLiteral("Voltage (V)"), kVoltageTraceColour);
    drawValueAxis(painter, geometry.currentPlot, geometry.currentTop, 3,
                  QStringLiteral("Current (A)"), kCurrentTraceColour);

    painter.setRenderHint(QPainter::Antialiasing);
    const int width = geometry.voltagePlot.width();
    drawTrace(
        painter, columnsOf(series, geometry, width, [](const Sample& s) { return s.voltage; }),
        geometry.voltagePlot.left(), [&geometry](int value) { return geometry.yOfVoltage(value); },
        kVoltageTraceColour);
    drawTrace(
        painter, columnsOf(series, geometry, width, [](const Sample& s) { return s.current; }),
        geometry.currentPlot.left(), [&geometry](int value) { return geometry.yOfCurrent(value); },
        kCurrentTraceColour);
    painter.setRenderHint(QPainter::Antialiasing, false);

    painter.setPen(kInk);
    // The frames lie just outside the plots, so no reading is hidden under them.
    painter.drawRect(geometry.voltagePlot.adjusted(-1, -1, 0, 0));
    painter.drawRect(geometry.currentPlot.adjusted(-1, -1, 0, 0));
    drawLegend(painter, geometry, size);
    drawTitle(painter, series, recordName, size);
    return image;
}
