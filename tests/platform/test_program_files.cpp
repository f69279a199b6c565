#include "fakes.h"
#include "platform/program_files.h"
#include "window/log_box.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {

const QString kDesktopEntry = QStringLiteral("/share/applications/" VELKOR_APP_ID ".desktop");
const QString kUserData = QStringLiteral("/home/op/.local/share/Velkor");

bool touch(const QString& path) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
}

} // namespace

class ProgramFilesTest : public QObject {
    Q_OBJECT
private slots:
    void layoutDecidesWhereFilesAre_data();
    void layoutDecidesWhereFilesAre();
    void installedProgramNeverWritesBesideItself();
    void windowKeepsItsFilesInTheDataFolder();
};

void ProgramFilesTest::layoutDecidesWhereFilesAre_data() {
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("shareDir");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<QString>("icon");

    QTest::newRow("build folder") << "/work/velkor/build" << QStringList{} << ""
                                  << "/work/velkor/build"
                                  << "/work/velkor/build/vk-7100-2.ico";
    QTest::newRow("unpacked into a folder named bin")
        << "/home/op/velkor/bin" << QStringList{"/home/op/velkor/share/velkor/vk-7100-2.ico"} << ""
        << "/home/op/velkor/bin"
        << "/home/op/velkor/bin/vk-7100-2.ico";
    QTest::newRow("installed in /usr")
        << "/usr/bin" << QStringList{"/usr" + kDesktopEntry} << "/usr/share" << kUserData
        << "/usr/share/velkor/vk-7100-2.ico";
    QTest::newRow("installed under a prefix, named with a trailing slash")
        << "/opt/velkor/bin/" << QStringList{"/opt/velkor" + kDesktopEntry} << "/opt/velkor/share"
        << kUserData << "/opt/velkor/share/velkor/vk-7100-2.ico";
    QTest::newRow("desktop entry of another prefix")
        << "/opt/velkor/bin" << QStringList{"/usr" + kDesktopEntry} << ""
        << "/opt/velkor/bin"
        << "/opt/velkor/bin/vk-7100-2.ico";
    QTest::newRow("installed, with an icon beside the program after all")
        << "/usr/local/bin"
        << QStringList{"/usr/local" + kDesktopEntry, "/usr/local/bin/vk-7100-2.ico"}
        << "/usr/local/share" << kUserData << "/usr/local/bin/vk-7100-2.ico";
}

void ProgramFilesTest::layoutDecidesWhereFilesAre() {
    QFETCH(QString, programDir);
    QFETCH(QStringList, existing);
    QFETCH(QString, shareDir);
    QFETCH(QString, dataDir);
    QFETCH(QString, icon);
    const FileExists exists = [&](const QString& path) { return existing.contains(path); };

    const QString share = installShareDir(programDir, exists);
    QCOMPARE(share, shareDir);
    QCOMPARE(dataDirFor(QDir::cleanPath(programDir), share, kUserData), dataDir);
    QCOMPARE(windowIconFor(QDir::cleanPath(programDir), share, exists), icon);
}

// This machine runs the tests as root, who may write anywhere: the prefix's
// bin folder is writable, and still nothing of the program's data goes there.
void ProgramFilesTest::installedProgramNeverWritesBesideItself() {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(userData).removeRecursively();

    QTemporaryDir prefix;
    const QString bin = prefix.path() + QStringLiteral("/bin");
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(::access(QFile::encodeName(bin).constData(), W_OK) == 0);
    QCOMPARE(prepareDataDir(bin), bin);
    QCOMPARE(windowIconFile(bin), QString());

    QVERIFY(touch(prefix.path() + kDesktopEntry));
    QVERIFY(touch(prefix.path() + QStringLiteral("/share/velkor/vk-7100-2.ico")));
    QCOMPARE(prepareDataDir(bin), userData);
    QVERIFY2(QFileInfo(userData).isDir(), "created on first start");
    QCOMPARE(windowIconFile(bin), prefix.path() + QStringLiteral("/share/velkor/vk-7100-2.ico"));
    QCOMPARE(QDir(bin).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QDir(userData).removeRecursively();
}

void ProgramFilesTest::windowKeepsItsFilesInTheDataFolder() {
    WindowOnFakes f;
    QTemporaryDir data;
    const Platform platform{&f.port, &f.clock, &f.screen, &f.dialogs, f.programDir(), data.path()};
    SupplySession session(platform);
    session.open();
    MainWindow w(session, platform);
    switchOn(w);
    w.session().stop();

    // The record is written on the window's own worker.
    QTRY_COMPARE_WITH_TIMEOUT(QDir(data.filePath(QStringLiteral("Record")))
                                  .entryList({QStringLiteral("*.TXT")}, QDir::Files)
                                  .size(),
                              1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(w.logBox->text().contains(QStringLiteral("保存路径:")), 15000);
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(QFileInfo::exists(data.filePath(QStringLiteral("db1.sqlite"))));
    QCOMPARE(QDir(f.programDir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
    // The save-path line names the file in the data folder.
    QVERIFY2(w.logBox->text().contains(QDir::toNativeSeparators(data.path() + "/Record/")),
             qPrintable(w.logBox->text()));
}

QTEST_MAIN(ProgramFilesTest)
#include "test_program_files.moc"
