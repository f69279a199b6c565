#pragma once

#include "record/disk_calls.h"
#include "record/sample.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A file saved beside a record's text file, under the same name with its own
// suffix (".csv"), with bytes fixed when the record was taken.
struct CompanionFile {
    QString suffix;
    QByteArray bytes;
};

// Everything one stop saves, its bytes copied in, so it can be written
// anywhere and at any time after the stop.
struct RecordSet {
    QString dir;
    // The name wanted, without suffix: the stop stamp.
    QString stamp;
    // The log in the system's 8-bit encoding, every line ended by CR LF, without
    // the save-path line: that line names the file actually written.
    QByteArray log;
    // "保存路径:" or "Save Path:".
    QString savePathLabel;
    QList<CompanionFile> companions;
    // The log's values, made into its spreadsheet and its picture when the
    // record is written: only then is its name known, which the picture's
    // title carries, and a week of them takes too long for the window's
    // thread. A record recovered without them has neither.
    std::optional<RunSeries> series;
    // Saved where no picture can be drawn: the process ends inside exit(),
    // its display gone, and the GUI a picture is drawn with may be torn down
    // already. The spreadsheet, which needs no GUI, is written; the
    // picture's name is kept free for the next start to draw it there.
    bool pictureAtNextStart = false;
};

struct PublishedRecord {
    // The record's text file, or the empty text when nothing was saved.
    QString path;
    QStringList companions;
    // Why the record could not be saved, and the file it was saving.
    QString problem;
    QString failedPath;
    // The record is saved, but its folder could not be synced: why, and
    // whether the file system has no folder syncs at all.
    QString folderNotSynced;
    bool folderSyncUnsupported = false;
};

enum class FolderSync {
    Done,
    // EINVAL, ENOTSUP or EOPNOTSUPP: some network and FUSE file systems
    // have no folder syncs; their names are as durable as they get.
    Unsupported,
    Failed,
};

// A new file's name lasts through a power cut only once its folder is
// synced. errno says why when it was not.
FolderSync syncFolder(const QString& dir, const DiskCalls& disk = DiskCalls::real());

// The files saved beside the record at recordPath, made from its values.
QList<CompanionFile> makeCompanions(const QString& recordPath, const RunSeries& series,
                                    const DiskCalls& disk);

// Told the name a record's text file is about to take, before it takes it.
using NoteRecordName = std::function<void(const QString& recordPath)>;

// The record file's last line: the label and the file's own path, CR LF.
QByteArray savePathLine(const QString& label, const QString& path);

// Writes the record as <stamp>.TXT and its companions (those its series makes
// too) as <stamp><suffix>, or,
// when any of those names is taken (another stop in the same second, another
// program in the same folder, stamps that coincide because they are not
// padded), under <stamp>_2, <stamp>_3 and so on. A file is written and synced
// under a temporary name and then given its name by a call that fails rather
// than replace a file, so no record ever replaces another, even one being
// written that moment by another program; where the file system has neither
// that call nor hard links, the name is created exclusively and then
// written and synced. Then the folder is synced; once every file has its
// name the record is saved, whatever that sync says. The folder is created
// when missing.
PublishedRecord publishRecord(const RecordSet& record, const DiskCalls& disk,
                              const NoteRecordName& noteName = {});

// Places one file of a record beside it under its own name, never replacing
// a file: false when the name is taken or the file cannot be written.
bool placeBeside(const QString& path, const QByteArray& bytes, const DiskCalls& disk);

// Removes the temporary files of records (.<name>.<pid>-<n>.part) that
// programs which died left in the folder: only those whose program is not
// running here, and whose lock nobody holds.
void removeDeadTemporaries(const QString& dir, const DiskCalls& disk = DiskCalls::real());
