#pragma once

#include "record/sample.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// The picture saved beside a record: the whole run, however long, voltage
// above current on one clock-time axis, each with the setpoint the supply
// was given as a dashed line, bands where the link was lost, a run's pass
// boundaries as marked lines, on a light background so it prints. Its title
// says what the record holds and how it ended.

inline constexpr QSize kRunPictureSize{1600, 900};
inline const QColor kVoltageTraceColour{0, 90, 200};
inline const QColor kCurrentTraceColour{200, 40, 30};
inline const QColor kVoltageSetpointColour{90, 165, 245};
inline const QColor kCurrentSetpointColour{240, 135, 110};
inline const QColor kLinkLostColour{255, 222, 190};
inline const QColor kPassMarkColour{150, 60, 190};
// A record with no more readings than this shows each as a point too: a
// few seconds of readings are seen, not lost in a line of a few pixels.
inline constexpr int kMostReadingsAsPoints = 120;

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

    // The pixel column (0 = left edge of a plot) that a moment falls into;
    // moments outside the run fall into the first or the last.
    int column(qint64 msecs) const;
    int xOf(qint64 msecs) const { return voltagePlot.left() + column(msecs); }
    double yOfVoltage(int tensOfMillivolts) const;
    double yOfCurrent(int milliamperes) const;
};

RunPictureGeometry runPictureGeometry(const RunSeries& series, QSize size = kRunPictureSize);

// The title's first line: what the record holds and how it ended ("Run of
// 5 steps × 3 passes, completed").
QString runPictureTitle(const RunSeries& series);

// The title's second line: when the log started, in its own clock time, how
// long it lasted, the record's name and how many of its lines hold a reading
// ("Monday 7 December 2026, 17:29:32, for 2 h 05 min 30 s    2026127172932
// 7530 readings"); a line without a live one is not counted as one.
QString runPictureSubtitle(const RunSeries& series, const QString& recordName);

// The moments at which a run's passes after the first began.
QVector<qint64> passBoundaries(const RunSeries& series);

// Draws the run. Each pixel column shows the least and the greatest reading
// that falls into it, so a week of one-second readings loses no peak and
// costs one pass over the samples. The times and values of a damaged
// journal are drawn at the picture's edges, never computed with beyond them.
QImage drawRunPicture(const RunSeries& series, const QString& recordName,
                      QSize size = kRunPictureSize);
