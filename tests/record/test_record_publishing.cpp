#include "fakes.h"
#include "immutable_entry.h"
#include "record/journal_recovery.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

const QString kStamp = QStringLiteral("2026126539");
const QByteArray kLog = "Velkor\r\nVersion: 1.0\r\n2026-12-6   05:03:08\r\n05:03:09   12.00V\r\n";
const QString kLabel = QStringLiteral("保存路径:");

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QStringList entriesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The real calls, with one of them failing as a disk that refuses.
DiskCalls failing(bool sync, bool lock) {
    DiskCalls disk = DiskCalls::real();
    if (sync) {
        disk.syncData = [](int) {
            errno = EIO;
            return -1;
        };
    }
    if (lock) {
        disk.lock = [](int, int) {
            errno = ENOLCK;
            return -1;
        };
    }
    return disk;
}

} // namespace

class RecordPublishingTest : public QObject {
    Q_OBJECT
private slots:
    void recordNeverReplacesAFile_data();
    void recordNeverReplacesAFile();
    void twoWritersWithOneStampBothKeepTheirRecords();
    void recoveryTouchesOnlyJournalsItCanTake();
};

void RecordPublishingTest::recordNeverReplacesAFile_data() {
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<bool>("withCompanion");
    QTest::addColumn<bool>("syncFails");
    QTest::addColumn<QString>("written");
    const QStringList none;
    QTest::newRow("free name") << kStamp << none << false << false << kStamp;
    QTest::newRow("name taken") << kStamp << QStringList{kStamp + ".TXT"} << false << false
                                << kStamp + "_2";
    QTest::newRow("two names taken") << kStamp << QStringList{kStamp + ".TXT", kStamp + "_2.TXT"}
                                     << false << false << kStamp + "_3";
    QTest::newRow("companion's name taken")
        << kStamp << QStringList{kStamp + ".csv"} << true << false << kStamp + "_2";
    QTest::newRow("recovered name taken")
        << kStamp + "_recovered" << QStringList{kStamp + "_recovered.TXT"} << false << false
        << kStamp + "_recovered_2";
    QTest::newRow("sync fails") << kStamp << QStringList{kStamp + ".TXT"} << true << true
                                << QString();
}

void RecordPublishingTest::recordNeverReplacesAFile() {
    QFETCH(QString, stamp);
    QFETCH(QStringList, existing);
    QFETCH(bool, withCompanion);
    QFETCH(bool, syncFails);
    QFETCH(QString, written);
    QTemporaryDir dir;
    const QString recordDir = dir.path() + QStringLiteral("/Record");
    QVERIFY(QDir().mkpath(recordDir));
    for (const QString& name : existing) {
        QVERIFY(writeFile(recordDir + QLatin1Char('/') + name, name.toLatin1()));
    }
    RecordSet record{recordDir, stamp, kLog, kLabel, {}, std::nullopt};
    if (withCompanion) {
        record.companions.append({QStringLiteral(".csv"), "V,A\r\n12.00,1.200\r\n"});
    }

    const PublishedRecord published = publishRecord(record, failing(syncFails, false));
    for (const QString& name : existing) {
        QCOMPARE(fileBytes(recordDir + QLatin1Char('/') + name), name.toLatin1());
    }
    QStringList expected = existing;
    if (written.isEmpty()) {
        QVERIFY(published.path.isEmpty());
        QVERIFY(published.problem.contains(QString::fromLocal8Bit(std::strerror(EIO))));
    } else {
        const QString path = recordDir + QLatin1Char('/') + written + QStringLiteral(".TXT");
        QCOMPARE(published.path, path);
        QCOMPARE(fileBytes(path), kLog + savePathLine(kLabel, path));
        expected << written + QStringLiteral(".TXT");
        if (withCompanion) {
            const QString companion =
                recordDir + QLatin1Char('/') + written + QStringLiteral(".csv");
            QCOMPARE(published.companions, QStringList{companion});
            QCOMPARE(fileBytes(companion), record.companions[0].bytes);
            expected << written + QStringLiteral(".csv");
        }
    }
    // Nothing else: no temporary file is left either way.
    expected.sort();
    QCOMPARE(entriesIn(recordDir), expected);
}

// Two programs saving in one folder in the same second, again and again.
void RecordPublishingTest::twoWritersWithOneStampBothKeepTheirRecords() {
    QTemporaryDir dir;
    constexpr int kEach = 25;
    QList<PublishedRecord> results[2];
    const auto writer = [&](int which) {
        for (int i = 0; i < kEach; ++i) {
            const QByteArray log = kLog + QByteArray::number(which * kEach + i) + "\r\n";
            results[which].append(publishRecord({dir.path(), kStamp, log, kLabel, {}, std::nullopt},
                                                DiskCalls::real()));
        }
    };
    std::thread one(writer, 0);
    std::thread other(writer, 1);
    one.join();
    other.join();

    QSet<QString> paths;
    for (int which = 0; which < 2; ++which) {
        for (int i = 0; i < kEach; ++i) {
            const PublishedRecord& published = results[which][i];
            QVERIFY(published.problem.isEmpty());
            paths.insert(published.path);
            QCOMPARE(fileBytes(published.path), kLog + QByteArray::number(which * kEach + i) +
                                                    "\r\n" + savePathLine(kLabel, published.path));
        }
    }
    QCOMPARE(paths.size(), 2 * kEach);
    QCOMPARE(entriesIn(dir.path()).size(), 2 * kEach);
}

// Files that are not this program's journals are never touched; a lock the
// file system refuses is reported and the journal kept; a journal that
// cannot be removed after its recovery is emptied, never recovered twice.
void RecordPublishingTest::recoveryTouchesOnlyJournalsItCanTake() {
    QTemporaryDir dir;
    const QString recordDir = dir.path() + QStringLiteral("/Record");
    QVERIFY(QDir().mkpath(recordDir));
    const QStringList foreign{
        QStringLiteral("notes.journal"), QStringLiteral("JOURNAL-1-1.JOURNAL"),
        QStringLiteral("journal-1-1.journal.bak"), QStringLiteral("journal-x-1.journal")};
    for (const QString& name : foreign) {
        QVERIFY(writeFile(dir.path() + QLatin1Char('/') + name, kLog));
    }
    const QString otherContent = dir.path() + QStringLiteral("/journal-7-1.journal");
    QVERIFY(writeFile(otherContent, "someone else's lines\r\n"));
    const QString ours = dir.path() + QStringLiteral("/journal-8-1.journal");
    QVERIFY(writeFile(ours, kLog));
    QStringList untouched = foreign;
    untouched << QFileInfo(otherContent).fileName() << QFileInfo(ours).fileName();
    untouched.sort();

    // A journal cannot be started where nothing can be locked, and the try
    // leaves no file behind.
    MeasurementJournal unlockable(failing(false, true));
    QVERIFY(!unlockable.start(dir.path(), QString::fromLatin1(kLog)));
    QVERIFY(unlockable.errorString().contains(QStringLiteral("cannot lock")));

    const QList<JournalRecovery> refused =
        recoverJournals(dir.path(), recordDir, failing(false, true));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused[0].journal, ours);
    QVERIFY(refused[0].record.isEmpty());
    QVERIFY(recoveryMessage(refused).contains(QStringLiteral("cannot lock")));
    QCOMPARE(entriesIn(dir.path()), untouched);
    QVERIFY(entriesIn(recordDir).isEmpty());

    ImmutableEntry fixedFolder(dir.path());
    if (!fixedFolder.isSet()) {
        QSKIP("the file system here has no immutable attribute");
    }
    for (int start = 0; start < 2; ++start) {
        const QList<JournalRecovery> recovered = recoverJournals(dir.path(), recordDir);
        QCOMPARE(recovered.size(), start == 0 ? 1 : 0);
        QCOMPARE(entriesIn(recordDir).size(), 1);
    }
    QCOMPARE(fileBytes(ours), QByteArray());
    QVERIFY(fixedFolder.lift());
    QVERIFY(recoverJournals(dir.path(), recordDir).isEmpty());
    untouched.removeOne(QFileInfo(ours).fileName());
    QCOMPARE(entriesIn(dir.path()), untouched);
}

QTEST_MAIN(RecordPublishingTest)
#include "test_record_publishing.moc"
