#pragma once

#include <QList>
#include <QString>

#include <functional>

struct CompanionFile;
struct RunSeries;

// The two calls through which the disk most often fails or stalls: making a
// file's data durable and taking a journal's lock. Tests replace them to show
// a failed or slow sync and a lock that fails.
struct DiskCalls {
    std::function<int(int fd)> syncData;
    std::function<int(int fd, int operation)> lock;
    // Makes the files saved beside a record from its values; when empty,
    // the spreadsheet and the picture. Tests that save thousands of records
    // leave the picture out.
    std::function<QList<CompanionFile>(const QString& recordPath, const RunSeries& series)>
        companions;

    // fdatasync and flock.
    static DiskCalls real();
};
