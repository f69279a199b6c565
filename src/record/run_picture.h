#pragma once

#include "record/sample.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// The picture saved beside a record: the whole run, however long, voltage
// above current on one clock-time axis, gaps where the link was lost, on a
// light background so it prints.

inline constexpr QSize kRunPictureSize{1600, 900};
inline const QColor kVoltageTraceColour{0, 90, 200};
inline const QColor kCurrentTraceColour{200, 40, 30};
inline const QColor kLinkLostColour{255, 222, 190};

// Where things go on the picture: the two plots and their scales. The plots
// share the time scale, one pixel column per slice of the run.
struct RunPictureGeometry {
    QRect voltagePlot;
    QRect currentPlot;
    qint64 firstMsecs = 0;
    qint64 lastMsecs = 0;
    // Tops of the value scales, in 10 mV and 1 mA.
    int voltageTop = 0;
    int currentTop = 0;

    // The pixel column (0 = left edge of a plot) that a moment falls into.
    int column(qint64 msecs) const;
    int xOf(qint64 msecs) const { return voltagePlot.left() + column(msecs); }
    double yOfVoltage(int tensOfMillivolts) const;
    double yOfCurrent(int milliamperes) const;
};

RunPictureGeometry runPictureGeometry(const RunSeries& series, QSize size = kRunPictureSize);

// Draws the run. Each pixel column shows the least and the greatest reading
// that falls into it, so a week of one-second readings loses no peak and
// costs one pass over the samples.
QImage drawRunPicture(const RunSeries& series, const QString& recordName,
                      QSize size = kRunPictureSize);
