#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The file calls the records and the measurement journal are built on, one
// file per platform (file_calls_posix.cpp, file_calls_windows.cpp). Files are
// the C runtime's descriptors on both, so the records hold and pass plain
// ints. Each call answers as its POSIX namesake does: a descriptor or 0 for
// success, -1 with errno set otherwise; the Windows calls translate their
// errors into the errno values the records look for (EEXIST, EWOULDBLOCK,
// ENOTSUP ...).
//
// Every file is opened so that it can be renamed or removed while open (on
// Windows that takes a share mode of its own), is not passed on to child
// processes, and reads and writes its bytes unchanged.
namespace file_calls {

// A path as the calls below take it. POSIX: the file name bytes, as
// QFile::encodeName gives them. Windows: UTF-8, turned into the wide
// string the system takes, so that no name is lost to a code page.
QByteArray encodedPath(const QString& path);

// A new file, opened for writing; fails with EEXIST when the name exists.
int createNew(const char* path);
// Opened for writing, created when missing, emptied when not.
int createOrEmpty(const char* path);
// An existing file, opened for reading and writing.
int openExisting(const char* path);
// The same, but a symbolic link is never followed to its target: POSIX
// fails on it, Windows opens the link itself.
int openExistingNoFollow(const char* path);
// A folder, opened only to sync its names; ENOTDIR for any other file.
int openFolder(const char* path);
int close(int fd);

// False with errno set when not every byte was written.
bool writeAll(int fd, const QByteArray& bytes);
// Up to maxBytes from the current position, fewer only at the end of the
// file; empty with errno set on failure.
QByteArray read(int fd, qint64 maxBytes);
// Everything from the current position to the end.
QByteArray readToEnd(int fd);

// Makes the file's data durable (fdatasync).
int syncData(int fd);
// Makes the names in an open folder durable (fsync on the folder).
int syncFolder(int fd);

// The one lock the records take: exclusive, refused at once with
// EWOULDBLOCK when another open file holds it. It belongs to the open file
// and ends when that closes or its process ends, however it ends.
extern const int kLockExclusiveNoWait;
int lock(int fd, int operation);

// Gives a file a new name, failing with EEXIST rather than replace one.
// Where the file system has no such call: EINVAL, ENOSYS or ENOTSUP.
int renameNoReplace(const char* from, const char* to);
// A second name for a file; EEXIST when it is taken, EPERM, ENOSYS or
// ENOTSUP where the file system has no hard links.
int hardLink(const char* from, const char* to);
int remove(const char* path);
int truncate(int fd, qint64 sizeBytes);
// How many names the open file has; 0 once it was removed. -1 with errno
// set when that cannot be told.
int nameCount(int fd);

// A process of this number runs on this machine (one this process may not
// signal or open counts: it runs).
bool processRuns(qint64 pid);

} // namespace file_calls
