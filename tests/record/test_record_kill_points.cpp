#include "fakes.h"
#include "record/journal_recovery.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"
#include "record/record_worker.h"
#include "record/sample_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

const QString kLabel = QStringLiteral("保存路径:");
const QString kLogText = QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:03:06\r\n"
                                        "05:03:07          12.00V          1.200A\r\n"
                                        "05:03:08          12.00V          1.200A\r\n");

// The end of the process at a step, as a kill: thrown from the disk seam.
struct ProcessEnded {};

// How the file system gives a synced file its name.
enum class Naming { Rename, HardLink, CreateExclusive };

QString nameOf(Naming naming) {
    switch (naming) {
    case Naming::Rename:
        return QStringLiteral("rename");
    case Naming::HardLink:
        return QStringLiteral("hard link");
    case Naming::CreateExclusive:
        return QStringLiteral("exclusive create");
    }
    return {};
}

// Which run of the program dies: the one saving the record, or the next
// start recovering its journal after a kill before the record had a name.
enum class Dying { Save, Recovery };

// The real disk, naming files the given way, with small stand-ins for the
// spreadsheet and the picture, that ends the process when the step counted
// from 1 is reached (never at 0) and counts the steps reached.
DiskCalls dyingDisk(Naming naming, int endAt, std::shared_ptr<int> reached) {
    DiskCalls disk = DiskCalls::real();
    disk.companions = [](const QString& recordPath, const RunSeries& series) {
        const QByteArray about = QFileInfo(recordPath).fileName().toUtf8() + ' ' +
                                 QByteArray::number(series.samples.size());
        return QList<CompanionFile>{{QStringLiteral(".csv"), "rows of " + about},
                                    {QStringLiteral(".png"), "picture of " + about}};
    };
    if (naming != Naming::Rename) {
        disk.renameNoReplace = [](const char*, const char*) { return errno = EINVAL, -1; };
    }
    if (naming == Naming::CreateExclusive) {
        disk.link = [](const char*, const char*) { return errno = EPERM, -1; };
    }
    disk.reach = [endAt, reached](DiskStep) {
        if (++*reached == endAt) {
            throw ProcessEnded{};
        }
    };
    return disk;
}

QByteArray samplesOfTheLog() {
    RunSeries series;
    series.begin(QDateTime(QDate(2026, 12, 6), QTime(5, 3, 6)));
    QByteArray bytes = sampleJournalStart(series);
    for (int second : {7, 8}) {
        bytes += sampleJournalLine(sampleOf(QDateTime(QDate(2026, 12, 6), QTime(5, 3, second)),
                                            QStringLiteral("1200"), QStringLiteral("1200"), false,
                                            true, 1200, 2000));
    }
    return bytes;
}

// A program's life with the output on and off: its journal, then the save
// of its record, each step of which may be its last. False when it died.
bool runProgram(const QString& dataDir, const DiskCalls& disk) {
    auto journal = std::make_unique<MeasurementJournal>(disk);
    if (!journal->start(dataDir, kLogText, samplesOfTheLog())) {
        return false;
    }
    const RecordSet record{dataDir + QStringLiteral("/Record"),
                           QStringLiteral("2026126539"),
                           kLogText.toLatin1(),
                           kLabel,
                           {},
                           readSampleJournal(samplesOfTheLog())};
    try {
        saveJournalledRecord(record, journal.get(), disk);
    } catch (const ProcessEnded&) {
        return false;
    }
    return true;
}

// A start: its recovery, which may die too. False when it died.
bool startProgram(const QString& dataDir, const DiskCalls& disk) {
    try {
        recoverJournals(dataDir, dataDir + QStringLiteral("/Record"), disk);
    } catch (const ProcessEnded&) {
        return false;
    }
    return true;
}

// How many steps a whole save, or a whole recovery after a save that died
// before anything had a name, goes through.
int stepsOf(Naming naming, Dying dying) {
    QTemporaryDir dir;
    auto reached = std::make_shared<int>(0);
    if (dying == Dying::Save) {
        runProgram(dir.path(), dyingDisk(naming, 0, reached));
        return *reached;
    }
    runProgram(dir.path(), dyingDisk(naming, 1, reached));
    *reached = 0;
    startProgram(dir.path(), dyingDisk(naming, 0, reached));
    return *reached;
}

} // namespace

Q_DECLARE_METATYPE(Naming)
Q_DECLARE_METATYPE(Dying)

class RecordKillPointsTest : public QObject {
    Q_OBJECT
private slots:
    void killAtAnyStepLeavesOneWholeRecord_data();
    void killAtAnyStepLeavesOneWholeRecord();
    void folderSyncThatFailsLeavesTheRecordSaved_data();
    void folderSyncThatFailsLeavesTheRecordSaved();
};

void RecordKillPointsTest::killAtAnyStepLeavesOneWholeRecord_data() {
    QTest::addColumn<Naming>("naming");
    QTest::addColumn<Dying>("dying");
    QTest::addColumn<int>("endAt");
    for (const Naming naming : {Naming::Rename, Naming::HardLink, Naming::CreateExclusive}) {
        for (const Dying dying : {Dying::Save, Dying::Recovery}) {
            const int steps = stepsOf(naming, dying);
            QVERIFY(steps >= 8);
            for (int endAt = 1; endAt <= steps; ++endAt) {
                QTest::addRow("%s, %s dies at step %d", qPrintable(nameOf(naming)),
                              dying == Dying::Save ? "save" : "recovery", endAt)
                    << naming << dying << endAt;
            }
        }
    }
}

// Whatever step a program dies at, saving its record or recovering it at
// the next start, the start after leaves exactly one record with its
// spreadsheet and picture, whole, and nothing else: no copy, no temporary
// file, no journal.
void RecordKillPointsTest::killAtAnyStepLeavesOneWholeRecord() {
    QFETCH(Naming, naming);
    QFETCH(Dying, dying);
    QFETCH(int, endAt);
    QTemporaryDir dir;
    const QString recordDir = dir.path() + QStringLiteral("/Record");
    auto reached = std::make_shared<int>(0);
    if (dying == Dying::Save) {
        QVERIFY(!runProgram(dir.path(), dyingDisk(naming, endAt, reached)));
    } else {
        QVERIFY(!runProgram(dir.path(), dyingDisk(naming, 1, reached)));
        *reached = 0;
        QVERIFY(!startProgram(dir.path(), dyingDisk(naming, endAt, reached)));
    }
    QVERIFY(startProgram(dir.path(), dyingDisk(naming, 0, reached)));

    const QStringList records = QDir(recordDir).entryList({QStringLiteral("*.TXT")}, QDir::Files);
    QCOMPARE(records.size(), 1);
    const QString path = recordDir + QLatin1Char('/') + records[0];
    QCOMPARE(fileBytes(path), kLogText.toLatin1() + savePathLine(kLabel, path));
    const QString stem = records[0].chopped(4);
    const RunSeries series = readSampleJournal(samplesOfTheLog());
    QStringList expected{records[0]};
    for (const CompanionFile& companion : dyingDisk(naming, 0, reached).companions(path, series)) {
        QCOMPARE(fileBytes(recordDir + QLatin1Char('/') + stem + companion.suffix),
                 companion.bytes);
        expected << stem + companion.suffix;
    }
    expected.sort();
    QCOMPARE(QDir(recordDir).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void RecordKillPointsTest::folderSyncThatFailsLeavesTheRecordSaved_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("unsupported");
    QTest::newRow("EINVAL") << EINVAL << true;
    QTest::newRow("EOPNOTSUPP") << EOPNOTSUPP << true;
    QTest::newRow("EIO") << EIO << false;
}

// Once its files have their names the record is saved, and the journal goes,
// whatever the folder's sync says; one that the file system does not do
// at all does not stop a journal either.
void RecordKillPointsTest::folderSyncThatFailsLeavesTheRecordSaved() {
    QFETCH(int, error);
    QFETCH(bool, unsupported);
    QTemporaryDir dir;
    DiskCalls disk = dyingDisk(Naming::Rename, 0, std::make_shared<int>(0));
    disk.syncFolder = [error](int) { return errno = error, -1; };
    MeasurementJournal journal(disk);
    QCOMPARE(journal.start(dir.path(), kLogText), unsupported);
    const RecordSet record{dir.path() + QStringLiteral("/Record"),
                           QStringLiteral("2026126539"),
                           kLogText.toLatin1(),
                           kLabel,
                           {},
                           readSampleJournal(samplesOfTheLog())};
    const PublishedRecord published = saveJournalledRecord(record, &journal, disk);
    QVERIFY(published.problem.isEmpty());
    QCOMPARE(published.path, record.dir + QStringLiteral("/2026126539.TXT"));
    QCOMPARE(published.companions.size(), 2);
    QCOMPARE(published.folderNotSynced, QString::fromLocal8Bit(std::strerror(error)));
    QCOMPARE(published.folderSyncUnsupported, unsupported);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_MAIN(RecordKillPointsTest)
#include "test_record_kill_points.moc"
