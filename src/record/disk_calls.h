#pragma once

#include <QList>
#include <QString>

#include <functional>

struct CompanionFile;
struct RunSeries;

// The steps of saving a record and of letting its journal go at which a
// process may die (a kill, a crash, a power cut) and leave the disk part
// way: each is the moment just before what it names.
enum class DiskStep {
    // A temporary file is created, its bytes not all written.
    TemporaryStarted,
    // The journal is about to note the name the record is taking.
    NoteName,
    // A synced temporary file is about to take its final name.
    GiveName,
    // The final name is created and empty, where a file can be named only
    // by creating it (no rename without replace, no hard links).
    FillFinalName,
    FolderSync,
    // The record is saved; its journal and the files beside it go next.
    RemoveJournal,
    RemoveSamples,
    RemoveNote,
};

// The calls through which the disk most often fails or stalls: making a
// file's data and a folder's names durable, taking a journal's lock, giving
// a file its name. Tests replace them to show a failed or slow sync, a lock
// that fails, a file system without renameat2's flag or hard links, and a
// process that dies at any step of a save. An empty call is the real one.
struct DiskCalls {
    std::function<int(int fd)> syncData;
    std::function<int(int fd, int operation)> lock;
    // Makes the files saved beside a record from its values; when empty,
    // the spreadsheet and the picture. Tests that save thousands of records
    // leave the picture out.
    std::function<QList<CompanionFile>(const QString& recordPath, const RunSeries& series)>
        companions;
    // Syncs an open folder's names.
    std::function<int(int fd)> syncFolder;
    // A rename that never replaces a file, and a hard link; paths as
    // file_calls::encodedPath gives them.
    std::function<int(const char* from, const char* to)> renameNoReplace;
    std::function<int(const char* from, const char* to)> link;
    // Called before each step. A test throws from it to end the process
    // there, as a kill would: nothing after it runs, and the files open
    // close and their locks go.
    std::function<void(DiskStep step)> reach;

    // The platform's data sync and lock (platform/file_calls.h); the calls
    // left empty are the platform's too.
    static DiskCalls real();

    int syncFolderOf(int fd) const;
    int renameWithoutReplacing(const char* from, const char* to) const;
    int linkName(const char* from, const char* to) const;
    void at(DiskStep step) const {
        if (reach) {
            reach(step);
        }
    }
};
