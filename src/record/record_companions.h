#pragma once

#include "record/record_file.h"
#include "record/sample.h"

#include <QList>
#include <QString>
#include <QStringList>

// <stem>.<extension> beside the record <stem>.TXT, so a record that took a
// suffix (2026126539_2.TXT) gives its companions the same one.
QString companionPath(const QString& recordPath, const QString& extension);

// The suffixes of the files recordCompanions makes.
QStringList recordCompanionSuffixes();

// The spreadsheet (.csv) of a record.
CompanionFile recordSpreadsheet(const RunSeries& series);

// The spreadsheet (.csv) and the picture (.png) of a record, whose name the
// picture's title carries. Pure and self-contained, so it can run away from
// the window's thread on a copy of the series.
QList<CompanionFile> recordCompanions(const QString& recordPath, const RunSeries& series);
