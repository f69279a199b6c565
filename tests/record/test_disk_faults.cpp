#include "fakes.h"
#include "immutable_entry.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The stamp of a stop at the fake clock's moment.
const QString kStampName = QStringLiteral("2026126539.TXT");
const QByteArray kEarlierRecord = "Velkor\r\nVersion: 1.0\r\nan earlier record\r\n";

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// The window with a supply that answers 12 V and 1.2 A, the link up.
MainWindow& buildWithSupply(WindowOnFakes& f) {
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1200A1200W";
    MainWindow& w = f.build();
    ticks(w, 20);
    return w;
}

// Output on, five seconds of readings, output off.
void recordSomeSeconds(MainWindow& w) {
    w.outputButtonClicked();
    ticks(w, 50);
    w.outputButtonClicked();
}

void checkStoppedAndPanelBack(const MainWindow& w) {
    QVERIFY(!w.session().outputOn());
    const QList<QWidget*> panel{w.outputButton,    w.voltageSlider,   w.currentSlider,
                                w.voltageStepList, w.currentStepList, w.voltageEntry,
                                w.currentEntry};
    for (const QWidget* control : panel) {
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
}

// A small file system of its own on the Record directory, filled to the last
// block; room, once emptied, for two records with their pictures. Empty when
// mounting is not allowed here.
class FullFileSystem {
public:
    explicit FullFileSystem(const QString& dir) : dir_(dir) {
        const QByteArray target = QFile::encodeName(dir);
        mounted_ = ::mount("velkor-test", target.constData(), "tmpfs", 0, "size=1m") == 0;
    }
    ~FullFileSystem() {
        if (mounted_) {
            ::umount(QFile::encodeName(dir_).constData());
        }
    }
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    // Writes a filler file until the file system refuses more.
    bool fill() {
        const int fd =
            ::open(QFile::encodeName(fillerPath()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            return false;
        }
        const QByteArray block(512, 'f');
        while (::write(fd, block.constData(), block.size()) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }
    bool makeRoom() { return QFile::remove(fillerPath()); }
    QString fillerName() const { return QStringLiteral("filler"); }

private:
    QString fillerPath() const { return dir_ + QLatin1Char('/') + fillerName(); }

    QString dir_;
    bool mounted_ = false;
};

// The largest file this process may write, and SIGXFSZ ignored, so a write
// beyond it fails with EFBIG as on a file system without room.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool set() const { return set_; }
    void lift() {
        if (set_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
            std::signal(SIGXFSZ, previousHandler_);
            set_ = false;
        }
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool set_ = false;
};

} // namespace

enum class Fault { FullFileSystem, FileSizeLimit, ImmutableDirectory };
Q_DECLARE_METATYPE(Fault)

class DiskFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void failedRecordIsReportedAndEarlierRecordsKept_data();
    void failedRecordIsReportedAndEarlierRecordsKept();
    void journalThatCannotBeCreatedIsReportedOnce();
};

void DiskFaultsTest::failedRecordIsReportedAndEarlierRecordsKept_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("small file system filled up")
        << Fault::FullFileSystem << QString::fromLocal8Bit(std::strerror(ENOSPC));
    // The limit cuts the write short: Qt gives no reason for a short write.
    QTest::newRow("file size limit") << Fault::FileSizeLimit << QString();
    QTest::newRow("Record takes no changes")
        << Fault::ImmutableDirectory << QString::fromLocal8Bit(std::strerror(EPERM));
}

void DiskFaultsTest::failedRecordIsReportedAndEarlierRecordsKept() {
    QFETCH(Fault, fault);
    QFETCH(QString, reason);
    WindowOnFakes f;
    QVERIFY(QDir().mkpath(recordDir(f)));
    std::optional<FullFileSystem> disk;
    QStringList entries;
    if (fault == Fault::FullFileSystem) {
        disk.emplace(recordDir(f));
        if (!disk->mounted()) {
            QSKIP("mounting a file system is not allowed here");
        }
        entries << disk->fillerName();
    }
    // An earlier record under the very name this stop would take.
    const QString earlier = recordDir(f) + QLatin1Char('/') + kStampName;
    QVERIFY(writeFile(earlier, kEarlierRecord));
    entries << kStampName;
    entries.sort();
    if (disk) {
        QVERIFY(disk->fill());
    }
    std::optional<ImmutableEntry> readOnlyDir;
    if (fault == Fault::ImmutableDirectory) {
        readOnlyDir.emplace(recordDir(f));
        if (!readOnlyDir->isSet()) {
            QSKIP("the file system here has no immutable attribute");
        }
    }

    MainWindow& w = buildWithSupply(f);
    QVERIFY(w.session().state.linkUp);
    std::optional<FileSizeLimit> limit;
    if (fault == Fault::FileSizeLimit) {
        limit.emplace(64);
        QVERIFY(limit->set());
    }
    recordSomeSeconds(w);
    if (limit) {
        limit->lift();
    }
    const bool madeWritable = !readOnlyDir || readOnlyDir->lift();

    // Under the size limit the journal of the log fails first, once.
    const bool journalFailed = fault == Fault::FileSizeLimit;
    QCOMPARE(f.dialogs.shown.size(), journalFailed ? 2 : 1);
    if (journalFailed) {
        QVERIFY(f.dialogs.shown[0].text.contains(QStringLiteral("kept in memory")));
    }
    const QString message = f.dialogs.shown.last().text;
    QVERIFY2(message.contains(QStringLiteral("记录文件未能保存")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("2026126539_2.TXT")), qPrintable(message));
    QVERIFY2(reason.isEmpty() || message.contains(reason), qPrintable(message));
    checkStoppedAndPanelBack(w);
    // Nothing half-written is left, the earlier record is whole, and the log
    // is still on screen.
    QCOMPARE(recordEntries(f), entries);
    QCOMPARE(fileBytes(earlier), kEarlierRecord);
    QCOMPARE(w.logBox->text().count(QStringLiteral("12.00V          1.200A")), 5);

    // With the fault gone the program goes on; the next stop saves the log
    // kept from the failed one first, says so, and then its own.
    const QString unsaved = w.logBox->text();
    QVERIFY(madeWritable);
    if (disk) {
        QVERIFY(disk->makeRoom());
    }
    f.dialogs.shown.clear();
    recordSomeSeconds(w);
    const QString savedLate = recordDir(f) + QStringLiteral("/2026126539_2.TXT");
    const QString saved = recordDir(f) + QStringLiteral("/2026126539_3.TXT");
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(f.dialogs.shown[0].text.contains(QDir::toNativeSeparators(savedLate)));
    QCOMPARE(fileBytes(savedLate), (unsaved + QStringLiteral("保存路径:") +
                                    QDir::toNativeSeparators(savedLate) + QStringLiteral("\r\n"))
                                       .toLocal8Bit());
    QCOMPARE(fileBytes(saved), (w.logBox->text() + QStringLiteral("\r\n")).toLocal8Bit());
    QCOMPARE(fileBytes(earlier), kEarlierRecord);
}

// The data folder takes no new file: the run goes on with the log in memory
// and the record is saved at switch-off as ever.
void DiskFaultsTest::journalThatCannotBeCreatedIsReportedOnce() {
    WindowOnFakes f;
    QVERIFY(QDir().mkpath(recordDir(f)));
    MainWindow& w = buildWithSupply(f);
    ImmutableEntry dataDir(f.programDir());
    if (!dataDir.isSet()) {
        QSKIP("the file system here has no immutable attribute");
    }
    recordSomeSeconds(w);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(f.dialogs.shown[0].text.contains(QStringLiteral("kept in memory")));
    QCOMPARE(w.logBox->text().count(QStringLiteral("12.00V          1.200A")), 5);
    QCOMPARE(fileBytes(recordDir(f) + QLatin1Char('/') + kStampName),
             (w.logBox->text() + QStringLiteral("\r\n")).toLocal8Bit());
    QVERIFY(dataDir.lift());
    QCOMPARE(QDir(f.programDir()).entryList({QStringLiteral("*.journal")}), QStringList());
}

QTEST_MAIN(DiskFaultsTest)
#include "test_disk_faults.moc"
