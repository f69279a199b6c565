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
    void namedDataFolderMadeOrRefused_data();
    void namedDataFolderMadeOrRefused();
    void installedProgramNeverWritesBesideItself();
    void windowKeepsItsFilesInTheDataFolder();
};

void ProgramFilesTest::layoutDecidesWhereFilesAre_data() {
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QStringList>("existing");
    // --data-dir's value and VELKOR_DATA_DIR's; empty when not given.
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("shareDir");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<DataDirSource>("source");
    QTest::addColumn<QString>("icon");

    const QStringList installed{"/usr" + kDesktopEntry};
    QTest::newRow("build folder") << "/work/velkor/build" << QStringList{} << ""
                                  << ""
                                  << ""
                                  << "/work/velkor/build" << DataDirSource::ProgramFolder
                                  << "/work/velkor/build/vk-7100-2.ico";
    QTest::newRow("unpacked into a folder named bin")
        << "/home/op/velkor/bin" << QStringList{"/home/op/velkor/share/velkor/vk-7100-2.ico"} << ""
        << ""
        << ""
        << "/home/op/velkor/bin" << DataDirSource::ProgramFolder
        << "/home/op/velkor/bin/vk-7100-2.ico";
    QTest::newRow("installed in /usr") << "/usr/bin" << installed << ""
                                       << ""
                                       << "/usr/share" << kUserData << DataDirSource::UserData
                                       << "/usr/share/velkor/vk-7100-2.ico";
    QTest::newRow("installed under a prefix, named with a trailing slash")
        << "/opt/velkor/bin/" << QStringList{"/opt/velkor" + kDesktopEntry} << ""
        << ""
        << "/opt/velkor/share" << kUserData << DataDirSource::UserData
        << "/opt/velkor/share/velkor/vk-7100-2.ico";
    QTest::newRow("desktop entry of another prefix")
        << "/opt/velkor/bin" << installed << ""
        << ""
        << ""
        << "/opt/velkor/bin" << DataDirSource::ProgramFolder << "/opt/velkor/bin/vk-7100-2.ico";
    QTest::newRow("installed, with an icon beside the program after all")
        << "/usr/local/bin"
        << QStringList{"/usr/local" + kDesktopEntry, "/usr/local/bin/vk-7100-2.ico"} << ""
        << ""
        << "/usr/local/share" << kUserData << DataDirSource::UserData
        << "/usr/local/bin/vk-7100-2.ico";
    QTest::newRow("installed, the environment names a folder")
        << "/usr/bin" << installed << ""
        << "/srv/bench"
        << "/usr/share"
        << "/srv/bench" << DataDirSource::Environment << "/usr/share/velkor/vk-7100-2.ico";
    QTest::newRow("portable, the environment names a folder")
        << "/work/velkor/build" << QStringList{} << ""
        << "/srv/bench"
        << ""
        << "/srv/bench" << DataDirSource::Environment << "/work/velkor/build/vk-7100-2.ico";
    QTest::newRow("installed, the option wins over the environment")
        << "/usr/bin" << installed << "/srv/rack"
        << "/srv/bench"
        << "/usr/share"
        << "/srv/rack" << DataDirSource::Option << "/usr/share/velkor/vk-7100-2.ico";
    QTest::newRow("portable, the option alone")
        << "/work/velkor/build" << QStringList{} << "/srv/rack"
        << ""
        << ""
        << "/srv/rack" << DataDirSource::Option << "/work/velkor/build/vk-7100-2.ico";
}

void ProgramFilesTest::layoutDecidesWhereFilesAre() {
    QFETCH(QString, programDir);
    QFETCH(QStringList, existing);
    QFETCH(QString, option);
    QFETCH(QString, environment);
    QFETCH(QString, shareDir);
    QFETCH(QString, dataDir);
    QFETCH(DataDirSource, source);
    QFETCH(QString, icon);
    const FileExists exists = [&](const QString& path) { return existing.contains(path); };

    const QString share = installShareDir(programDir, exists);
    QCOMPARE(share, shareDir);
    const DataDir chosen =
        dataDirFor(option, environment, QDir::cleanPath(programDir), share, kUserData);
    QCOMPARE(chosen.path, dataDir);
    QCOMPARE(chosen.source, source);
    // The icon belongs to the program, wherever its data goes.
    QCOMPARE(windowIconFor(QDir::cleanPath(programDir), share, exists), icon);
}

// A folder the operator named is made when missing, and refused when it
// cannot be made or written; one the program chose is left to report its
// failures where it is used.
void ProgramFilesTest::namedDataFolderMadeOrRefused_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<DataDirSource>("source");
    QTest::addColumn<QString>("refusal");

    // Under a plain file no folder can be made, not even by root, who runs
    // these tests; /proc takes no files from anyone.
    const QString underAFile = QCoreApplication::applicationFilePath() + QStringLiteral("/data");
    QTest::newRow("missing, named by the option")
        << QStringLiteral("new/sub") << DataDirSource::Option << QString();
    QTest::newRow("missing, named by the environment")
        << QStringLiteral("new/sub") << DataDirSource::Environment << QString();
    QTest::newRow("under a file, named by the option")
        << underAFile << DataDirSource::Option << QStringLiteral("cannot be made");
    QTest::newRow("under a file, named by the environment")
        << underAFile << DataDirSource::Environment << QStringLiteral("cannot be made");
    QTest::newRow("not writable, named by the option")
        << QStringLiteral("/proc") << DataDirSource::Option
        << QStringLiteral("nothing can be written in the data folder /proc");
    QTest::newRow("under a file, chosen as the per-user folder")
        << underAFile << DataDirSource::UserData << QString();
    QTest::newRow("not writable, chosen as the program's folder")
        << QStringLiteral("/proc") << DataDirSource::ProgramFolder << QString();
}

void ProgramFilesTest::namedDataFolderMadeOrRefused() {
    QFETCH(QString, folder);
    QFETCH(DataDirSource, source);
    QFETCH(QString, refusal);
    QTemporaryDir scratch;
    const QString path = QDir(scratch.path()).absoluteFilePath(folder);

    const QString problem = prepareDataDir(DataDir{path, source});
    if (refusal.isEmpty()) {
        QCOMPARE(problem, QString());
    } else {
        QVERIFY2(problem.contains(refusal), qPrintable(problem));
    }
    if (path.startsWith(scratch.path())) {
        // Made, and the write check left nothing behind.
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }
}

// This machine runs the tests as root, who may write anywhere: the prefix's
// bin folder is writable, and still nothing of the program's data goes there.
void ProgramFilesTest::installedProgramNeverWritesBesideItself() {
    // A folder named in the developer's shell would win over the layout.
    qunsetenv("VELKOR_DATA_DIR");
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(userData).removeRecursively();

    QTemporaryDir prefix;
    const QString bin = prefix.path() + QStringLiteral("/bin");
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(::access(QFile::encodeName(bin).constData(), W_OK) == 0);
    QCOMPARE(dataDirOf(bin, {}).path, bin);
    QCOMPARE(prepareDataDir(dataDirOf(bin, {})), QString());
    QCOMPARE(windowIconFile(bin), QString());

    QVERIFY(touch(prefix.path() + kDesktopEntry));
    QVERIFY(touch(prefix.path() + QStringLiteral("/share/velkor/vk-7100-2.ico")));
    const DataDir installed = dataDirOf(bin, {});
    QCOMPARE(installed.path, userData);
    QCOMPARE(installed.source, DataDirSource::UserData);
    QCOMPARE(prepareDataDir(installed), QString());
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
