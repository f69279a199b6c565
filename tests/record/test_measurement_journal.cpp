#include "fakes.h"
#include "record/journal_recovery.h"
#include "record/measurement_journal.h"
#include "record/record_worker.h"
#include "window/log_box.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const QString kLastLine = QStringLiteral("下午5:03:12          12.00V          1.200A");
// The moment the journals below were last written: stop stamp 2026126539.
const QDateTime kLastWrite(QDate(2026, 12, 6), QTime(5, 3, 9));

QByteArray local8Bit(const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

// A journal as the program writes it, for a log with two measurement lines.
QByteArray writtenJournal(const QString& dir) {
    MeasurementJournal journal;
    journal.start(dir, QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   下午5:03:10\r\n"));
    journal.append(QStringLiteral("下午5:03:11          12.00V          1.200A\r\n"));
    journal.append(kLastLine + QStringLiteral("\r\n"));
    const QString path = journal.path();
    journal.finish(false);
    return fileBytes(path);
}

bool writeJournal(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.setFileTime(kLastWrite, QFileDevice::FileModificationTime);
}

QStringList journalsIn(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("*.journal")}, QDir::Files);
}

} // namespace

class MeasurementJournalTest : public QObject {
    Q_OBJECT
private slots:
    void journalCutAnywhereInItsLastLineKeepsTheWholeLines_data();
    void journalCutAnywhereInItsLastLineKeepsTheWholeLines();
    void onlyJournalsOfDeadProgramsAreRecoveredNeverOverwriting();
    void journalFollowsTheLogAndGoesWithItsRecord();
    void workersEndCleanlyAfterMatchingNamesWhileOthersAllocate();
};

void MeasurementJournalTest::journalCutAnywhereInItsLastLineKeepsTheWholeLines_data() {
    QTemporaryDir dir;
    const QByteArray whole = writtenJournal(dir.path());
    const qsizetype lastLineStart = whole.size() - local8Bit(kLastLine + "\r\n").size();
    QCOMPARE(whole.mid(lastLineStart), local8Bit(kLastLine + "\r\n"));

    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QByteArray>("kept");
    for (qsizetype cut = lastLineStart; cut < whole.size(); ++cut) {
        QTest::addRow("cut after byte %lld", static_cast<long long>(cut))
            << whole.left(cut) << whole.left(lastLineStart);
    }
    QTest::newRow("whole") << whole << whole;
}

// Whatever the byte a crash or power cut ends the journal at, the record
// holds every line before it whole, in the record's own layout.
void MeasurementJournalTest::journalCutAnywhereInItsLastLineKeepsTheWholeLines() {
    QFETCH(QByteArray, journal);
    QFETCH(QByteArray, kept);
    QTemporaryDir dir;
    QVERIFY(writeJournal(dir.path() + QStringLiteral("/journal-1-1.journal"), journal));

    const QString recordDir = dir.path() + QStringLiteral("/Record");
    const QList<JournalRecovery> recovered = recoverJournals(dir.path(), recordDir);
    QCOMPARE(recovered.size(), 1);
    const QString record = recordDir + QStringLiteral("/2026126539_recovered.TXT");
    QCOMPARE(recovered[0].record, record);
    QCOMPARE(fileBytes(record),
             kept + local8Bit(QStringLiteral("保存路径:") + QDir::toNativeSeparators(record) +
                              QStringLiteral("\r\n")));
    QVERIFY(journalsIn(dir.path()).isEmpty());
}

void MeasurementJournalTest::onlyJournalsOfDeadProgramsAreRecoveredNeverOverwriting() {
    QTemporaryDir dir;
    const QString recordDir = dir.path() + QStringLiteral("/Record");
    QVERIFY(QDir().mkpath(recordDir));
    const QByteArray earlier = "an earlier recovered record\r\n";
    QVERIFY(writeJournal(recordDir + QStringLiteral("/2026126539_recovered.TXT"), earlier));
    QTemporaryDir scratch;
    const QByteArray journal = writtenJournal(scratch.path());
    QVERIFY(writeJournal(dir.path() + QStringLiteral("/journal-1-1.journal"), journal));
    // Created, but the process died before anything reached it.
    QVERIFY(writeJournal(dir.path() + QStringLiteral("/journal-2-1.journal"), "Velk"));

    // The journal of a program still running is left alone.
    MeasurementJournal live;
    QVERIFY(live.start(dir.path(), QStringLiteral("Velkor\r\nVersion: 1.0\r\n")));
    const QList<JournalRecovery> recovered = recoverJournals(dir.path(), recordDir);
    QCOMPARE(journalsIn(dir.path()), QStringList{QFileInfo(live.path()).fileName()});
    QCOMPARE(recovered.size(), 1);
    QCOMPARE(recovered[0].record, recordDir + QStringLiteral("/2026126539_recovered_2.TXT"));
    QVERIFY(fileBytes(recovered[0].record).startsWith(journal));
    QCOMPARE(fileBytes(recordDir + QStringLiteral("/2026126539_recovered.TXT")), earlier);

    const QString message = recoveryMessage(recovered);
    QVERIFY(message.contains(QStringLiteral("已恢复")));
    QVERIFY(message.contains(QStringLiteral("was recovered")));
    QVERIFY(message.contains(QDir::toNativeSeparators(recovered[0].record)));
    QVERIFY(recoveryMessage({}).isEmpty());

    // Ended, it is a dead program's journal. While no record can be written
    // it is kept, and the message says so.
    live.finish(false);
    const QString notAFolder = dir.path() + QStringLiteral("/not-a-folder");
    QVERIFY(writeJournal(notAFolder, "a file"));
    const QList<JournalRecovery> failed = recoverJournals(dir.path(), notAFolder);
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed[0].record.isEmpty());
    QVERIFY(recoveryMessage(failed).contains(QStringLiteral("could not be recovered")));
    QCOMPARE(journalsIn(dir.path()), QStringList{QFileInfo(live.path()).fileName()});
    QCOMPARE(recoverJournals(dir.path(), recordDir).size(), 1);
    QVERIFY(journalsIn(dir.path()).isEmpty());
}

// While the output is on the journal holds what the record would hold so
// far; a saved record removes it, a record that fails keeps it for the next
// start, which recovers it and says so once.
void MeasurementJournalTest::journalFollowsTheLogAndGoesWithItsRecord() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1200A1200W";
    MainWindow& w = f.build();
    ticks(w, 20);
    const auto journalBytes = [&] {
        const QStringList journals = journalsIn(f.programDir());
        return journals.size() == 1 ? fileBytes(f.programDir() + QLatin1Char('/') + journals[0])
                                    : QByteArray();
    };
    const auto onForSeconds = [&](int seconds) {
        w.outputButtonClicked();
        for (int s = 0; s < seconds; ++s) {
            QCOMPARE(journalBytes(), local8Bit(w.logBox->text() + QStringLiteral("\r\n")));
            ticks(w, 10);
        }
        QCOMPARE(journalBytes(), local8Bit(w.logBox->text() + QStringLiteral("\r\n")));
    };

    onForSeconds(3);
    const QByteArray journal = journalBytes();
    w.outputButtonClicked();
    QVERIFY(journalsIn(f.programDir()).isEmpty());
    const QString record = recordDir(f) + QStringLiteral("/2026126539.TXT");
    QVERIFY(fileBytes(record).startsWith(journal));
    QCOMPARE(
        fileBytes(record).mid(journal.size()),
        local8Bit(QStringLiteral("05:03:09          输出关闭 / output switched off\r\n保存路径:") +
                  QDir::toNativeSeparators(record) + QStringLiteral("\r\n")));

    QVERIFY(QFile::rename(recordDir(f), recordDir(f) + QStringLiteral("-saved")));
    QFile notADirectory(recordDir(f));
    QVERIFY(notADirectory.open(QIODevice::WriteOnly));
    onForSeconds(2);
    const QByteArray kept = journalBytes();
    w.outputButtonClicked();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(journalBytes(), kept);
    f.window.reset();
    QVERIFY(writeJournal(f.programDir() + QLatin1Char('/') + journalsIn(f.programDir())[0], kept));

    QVERIFY(notADirectory.remove());
    f.dialogs.shown.clear();
    f.build();
    QCoreApplication::processEvents();
    QCOMPARE(f.dialogs.shown.size(), 1);
    const QStringList records = recordEntries(f);
    QCOMPARE(records, QStringList{QStringLiteral("2026126539_recovered.TXT")});
    QVERIFY(f.dialogs.shown[0].text.contains(records[0]));
    QVERIFY(fileBytes(recordDir(f) + QLatin1Char('/') + records[0]).startsWith(kept));
    QVERIFY(journalsIn(f.programDir()).isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(f.dialogs.shown.size(), 1);
}

// A worker's thread ends with its worker, after matching the names of the
// data folder against patterns while it recovered. Patterns compiled to
// machine code keep a matching stack per thread, in storage that MinGW's
// runtime frees before it runs the destructors at a thread's end; the
// program crashed whenever another thread had reused that memory by then.
void MeasurementJournalTest::workersEndCleanlyAfterMatchingNamesWhileOthersAllocate() {
    QTemporaryDir data;
    QTemporaryDir records;
    const QString record = QStringLiteral("2026126539.TXT");
    QVERIFY(writeJournal(data.filePath(QStringLiteral("journal-1-1.samples")), "orphan"));
    QVERIFY(writeJournal(data.filePath(QStringLiteral("notes.txt")), "kept"));
    QVERIFY(writeJournal(records.filePath(record), "kept"));
    std::atomic<bool> ending = false;
    std::thread allocating([&ending] {
        while (!ending) {
            std::vector<QByteArray> blocks;
            for (int i = 0; i < 64; ++i) {
                blocks.emplace_back(16 + i % 8 * 16, 'x');
            }
        }
    });
    constexpr int kWorkers = 200;
    int idle = 0;
    for (int i = 0; i < kWorkers; ++i) {
        RecordWorker worker;
        worker.recoverJournals(data.path(), records.path());
        idle += worker.waitUntilIdle(10000) ? 1 : 0;
    }
    ending = true;
    allocating.join();
    QCOMPARE(idle, kWorkers);
    // The orphaned samples went with the first recovery; the rest stays.
    QCOMPARE(QDir(data.path()).entryList(QDir::Files), QStringList{QStringLiteral("notes.txt")});
    QCOMPARE(QDir(records.path()).entryList(QDir::Files), QStringList{record});
}

VELKOR_TEST_MAIN_IN_C_LOCALE(MeasurementJournalTest)
#include "test_measurement_journal.moc"
