#include "platform/file_calls.h"
#include "platform/open_file.h"
#include "under_wine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

// The same expectations of the platform's file calls on every platform:
// what the records and the journal build on.
namespace {

const QByteArray kBytes = "Velkor\r\nVersion: 1.0\r\nline\nend";

QByteArray pathIn(const QTemporaryDir& dir, const QString& name) {
    return file_calls::encodedPath(dir.path() + QLatin1Char('/') + name);
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot open>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A new file holding kBytes, left open.
int newFileWithBytes(const QByteArray& path) {
    const int fd = file_calls::createNew(path.constData());
    if (fd >= 0 && !file_calls::writeAll(fd, kBytes)) {
        file_calls::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class FileCallsTest : public QObject {
    Q_OBJECT
private slots:
    void bytesGoToTheFileUnchangedAndSync();
    void exclusiveCreateRefusesAnExistingFile();
    void renameWithoutReplaceRefusesAnExistingTarget();
    void renameAndRemoveWorkWhileTheFileIsOpen();
    void fileRemovedWhileOpenHasNoNameLeft();
    void secondExclusiveLockIsRefusedUntilTheFirstCloses();
    void lockedFileIsStillWrittenAndReadByItsOwner();
    void folderSyncSucceedsOnAFolderOnly();
    void hardLinkNamesTheSameFileOrIsUnsupported();
    void truncateEmptiesAnOpenFile();
    void namesOutsideAnyCodePageSurvive();
    void onlyALivingProcessRuns();
};

void FileCallsTest::bytesGoToTheFileUnchangedAndSync() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("journal-1-1.journal"));
    OpenFile file(newFileWithBytes(path));
    QVERIFY(file.isOpen());
    QCOMPARE(file_calls::syncData(file.fd()), 0);
    QVERIFY(file.close());
    QCOMPARE(bytesOf(QString::fromUtf8(path)), kBytes);

    OpenFile again(file_calls::openExisting(path.constData()));
    QVERIFY(again.isOpen());
    QCOMPARE(file_calls::read(again.fd(), 8), kBytes.left(8));
    QCOMPARE(file_calls::readToEnd(again.fd()), kBytes.mid(8));
    QCOMPARE(file_calls::readToEnd(again.fd()), QByteArray());

    // Emptied and written anew.
    OpenFile rewritten(file_calls::createOrEmpty(path.constData()));
    QVERIFY(rewritten.isOpen());
    QVERIFY(file_calls::writeAll(rewritten.fd(), "new\r\n"));
    QVERIFY(rewritten.close());
    QCOMPARE(bytesOf(QString::fromUtf8(path)), QByteArray("new\r\n"));
}

void FileCallsTest::exclusiveCreateRefusesAnExistingFile() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("2026126539.TXT"));
    QVERIFY(writeFile(QString::fromUtf8(path), "earlier record"));
    errno = 0;
    QCOMPARE(file_calls::createNew(path.constData()), -1);
    QCOMPARE(errno, EEXIST);
    QCOMPARE(bytesOf(QString::fromUtf8(path)), QByteArray("earlier record"));

    errno = 0;
    QCOMPARE(file_calls::openExisting(pathIn(dir, QStringLiteral("missing")).constData()), -1);
    QCOMPARE(errno, ENOENT);
}

void FileCallsTest::renameWithoutReplaceRefusesAnExistingTarget() {
    QTemporaryDir dir;
    const QByteArray from = pathIn(dir, QStringLiteral(".2026126539.TXT.1-1.part"));
    const QByteArray to = pathIn(dir, QStringLiteral("2026126539.TXT"));
    QVERIFY(writeFile(QString::fromUtf8(from), "new record"));
    QVERIFY(writeFile(QString::fromUtf8(to), "earlier record"));
    errno = 0;
    QCOMPARE(file_calls::renameNoReplace(from.constData(), to.constData()), -1);
    QCOMPARE(errno, EEXIST);
    QCOMPARE(bytesOf(QString::fromUtf8(from)), QByteArray("new record"));
    QCOMPARE(bytesOf(QString::fromUtf8(to)), QByteArray("earlier record"));

    const QByteArray free = pathIn(dir, QStringLiteral("2026126539_2.TXT"));
    QCOMPARE(file_calls::renameNoReplace(from.constData(), free.constData()), 0);
    QVERIFY(!QFileInfo::exists(QString::fromUtf8(from)));
    QCOMPARE(bytesOf(QString::fromUtf8(free)), QByteArray("new record"));
}

// A journal is removed while its program holds it open and locked; a file
// being written can take another name meanwhile.
void FileCallsTest::renameAndRemoveWorkWhileTheFileIsOpen() {
    QTemporaryDir dir;
    const QByteArray from = pathIn(dir, QStringLiteral("a.part"));
    const QByteArray to = pathIn(dir, QStringLiteral("a.TXT"));
    OpenFile file(newFileWithBytes(from));
    QVERIFY(file.isOpen());
    QCOMPARE(file_calls::lock(file.fd(), file_calls::kLockExclusiveNoWait), 0);
    QCOMPARE(file_calls::renameNoReplace(from.constData(), to.constData()), 0);
    QVERIFY(file_calls::writeAll(file.fd(), "+more"));
    QCOMPARE(file_calls::syncData(file.fd()), 0);
    QCOMPARE(bytesOf(QString::fromUtf8(to)), kBytes + "+more");

    QCOMPARE(file_calls::remove(to.constData()), 0);
    QVERIFY(file.close());
    QVERIFY(!QFileInfo::exists(QString::fromUtf8(to)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    errno = 0;
    QCOMPARE(file_calls::remove(to.constData()), -1);
    QCOMPARE(errno, ENOENT);
}

// A program that locks a journal only after another removed it must see
// that it holds a file nobody will look for again.
void FileCallsTest::fileRemovedWhileOpenHasNoNameLeft() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("journal-1-1.journal"));
    OpenFile file(newFileWithBytes(path));
    QVERIFY(file.isOpen());
    QCOMPARE(file_calls::nameCount(file.fd()), 1);
    QCOMPARE(file_calls::remove(path.constData()), 0);
    if (runsUnderWine()) {
        QEXPECT_FAIL("", "Wine removes the name only when the last handle closes", Abort);
    }
    QCOMPARE(file_calls::nameCount(file.fd()), 0);
}

void FileCallsTest::secondExclusiveLockIsRefusedUntilTheFirstCloses() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("journal-1-1.journal"));
    OpenFile owner(newFileWithBytes(path));
    QVERIFY(owner.isOpen());
    QCOMPARE(file_calls::lock(owner.fd(), file_calls::kLockExclusiveNoWait), 0);

    OpenFile other(file_calls::openExisting(path.constData()));
    QVERIFY(other.isOpen());
    errno = 0;
    QCOMPARE(file_calls::lock(other.fd(), file_calls::kLockExclusiveNoWait), -1);
    QCOMPARE(errno, EWOULDBLOCK);

    // The lock belongs to the open file and goes with it.
    QVERIFY(owner.close());
    QCOMPARE(file_calls::lock(other.fd(), file_calls::kLockExclusiveNoWait), 0);
}

// Where locks are enforced (Windows; not Wine), a lock over the data would
// stop a starting program's look into a live journal before it tries the
// lock, and any write through another descriptor.
void FileCallsTest::lockedFileIsStillWrittenAndReadByItsOwner() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("journal-1-1.journal"));
    OpenFile owner(newFileWithBytes(path));
    QVERIFY(owner.isOpen());
    QCOMPARE(file_calls::lock(owner.fd(), file_calls::kLockExclusiveNoWait), 0);
    QVERIFY(file_calls::writeAll(owner.fd(), "+owner"));
    QCOMPARE(file_calls::syncData(owner.fd()), 0);

    OpenFile reader(file_calls::openExisting(path.constData()));
    QVERIFY(reader.isOpen());
    QCOMPARE(file_calls::readToEnd(reader.fd()), kBytes + "+owner");
    QVERIFY(file_calls::writeAll(reader.fd(), "+other"));
    QCOMPARE(bytesOf(QString::fromUtf8(path)), kBytes + "+owner+other");
}

void FileCallsTest::folderSyncSucceedsOnAFolderOnly() {
    QTemporaryDir dir;
    OpenFile folder(file_calls::openFolder(file_calls::encodedPath(dir.path()).constData()));
    QVERIFY(folder.isOpen());
    QCOMPARE(file_calls::syncFolder(folder.fd()), 0);

    const QByteArray file = pathIn(dir, QStringLiteral("record.TXT"));
    QVERIFY(writeFile(QString::fromUtf8(file), "record"));
    errno = 0;
    QCOMPARE(file_calls::openFolder(file.constData()), -1);
    QCOMPARE(errno, ENOTDIR);
    errno = 0;
    QCOMPARE(file_calls::openFolder(pathIn(dir, QStringLiteral("missing")).constData()), -1);
    QCOMPARE(errno, ENOENT);
}

// Where the file system has no hard links the records name their files
// another way; where it has them, a link never replaces a file.
void FileCallsTest::hardLinkNamesTheSameFileOrIsUnsupported() {
    QTemporaryDir dir;
    const QByteArray from = pathIn(dir, QStringLiteral("a.part"));
    const QByteArray to = pathIn(dir, QStringLiteral("a.TXT"));
    QVERIFY(writeFile(QString::fromUtf8(from), "record"));
    QVERIFY(writeFile(QString::fromUtf8(to), "earlier"));
    errno = 0;
    QCOMPARE(file_calls::hardLink(from.constData(), to.constData()), -1);
    QCOMPARE(errno, EEXIST);
    QCOMPARE(bytesOf(QString::fromUtf8(to)), QByteArray("earlier"));

    const QByteArray free = pathIn(dir, QStringLiteral("a_2.TXT"));
    errno = 0;
    if (file_calls::hardLink(from.constData(), free.constData()) != 0) {
        QVERIFY2(errno == EPERM || errno == ENOSYS || errno == ENOTSUP, std::strerror(errno));
        QSKIP("no hard links on this file system");
    }
    QCOMPARE(bytesOf(QString::fromUtf8(free)), QByteArray("record"));
    OpenFile file(file_calls::openExisting(free.constData()));
    QCOMPARE(file_calls::nameCount(file.fd()), 2);
}

void FileCallsTest::truncateEmptiesAnOpenFile() {
    QTemporaryDir dir;
    const QByteArray path = pathIn(dir, QStringLiteral("journal-1-1.journal"));
    OpenFile file(newFileWithBytes(path));
    QVERIFY(file.isOpen());
    QCOMPARE(file_calls::truncate(file.fd(), 0), 0);
    QCOMPARE(file_calls::syncData(file.fd()), 0);
    QCOMPARE(QFileInfo(QString::fromUtf8(path)).size(), 0);
}

void FileCallsTest::namesOutsideAnyCodePageSurvive() {
    QTemporaryDir dir;
    const QString name = QStringLiteral("记录 Ωmega ü.TXT");
    const QByteArray path = pathIn(dir, name);
    OpenFile file(newFileWithBytes(path));
    QVERIFY(file.isOpen());
    QVERIFY(file.close());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    QCOMPARE(bytesOf(dir.path() + QLatin1Char('/') + name), kBytes);
}

void FileCallsTest::onlyALivingProcessRuns() {
    QVERIFY(file_calls::processRuns(QCoreApplication::applicationPid()));
    QVERIFY(!file_calls::processRuns(0));
    QVERIFY(!file_calls::processRuns(-1));
    QVERIFY(!file_calls::processRuns(qint64{1} << 40));

    // This test program, asked only to list its test functions.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
    QVERIFY(child.waitForStarted());
    const qint64 pid = child.processId();
    QVERIFY(pid > 0);
    QVERIFY(child.waitForFinished());
    QVERIFY(!file_calls::processRuns(pid));
}

QTEST_GUILESS_MAIN(FileCallsTest)
#include "test_file_calls.moc"
