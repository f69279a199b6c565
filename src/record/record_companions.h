#pragma once

#include "record/sample.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A file saved beside a record, with the bytes it is to hold.
struct CompanionFile {
    QString path;
    QByteArray bytes;
};

// <stem>.<extension> beside the record <stem>.TXT, so a record that took a
// suffix (2026126539_2.TXT) gives its companions the same one.
QString companionPath(const QString& recordPath, const QString& extension);

// The spreadsheet (.csv) and the picture (.png) of a record. Pure and
// self-contained, so it can run away from the window's thread on a copy of
// the series.
QList<CompanionFile> recordCompanions(const QString& recordPath, const RunSeries& series);
