#include "platform/program_files.h"

#include <QStandardPaths>
#include <QtTest>

// Where the Windows program keeps its files: installed, the per-user local
// data folder; a portable copy (the zip, unpacked anywhere), beside itself.
class InstallLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void uninstallerTellsAnInstall_data();
    void uninstallerTellsAnInstall();
    void installedDataGoesToLocalAppData();
};

void InstallLayoutTest::uninstallerTellsAnInstall_data() {
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<DataDirSource>("source");

    const QString installed = QStringLiteral("C:/Users/op/AppData/Local/Programs/Velkor");
    const QString userData = QStringLiteral("C:/Users/op/AppData/Local/Velkor");
    QTest::newRow("installed") << installed
                               << QStringList{installed + "/" VELKOR_UNINSTALLER,
                                              installed + "/velkor.exe",
                                              installed + "/vk-7100-2.ico"}
                               << userData << DataDirSource::UserData;
    QTest::newRow("portable copy unpacked on a stick")
        << "E:/Velkor" << QStringList{"E:/Velkor/velkor.exe", "E:/Velkor/vk-7100-2.ico"}
        << "E:/Velkor" << DataDirSource::ProgramFolder;
    QTest::newRow("an uninstaller in the folder above is not ours")
        << "D:/tools/Velkor" << QStringList{"D:/tools/" VELKOR_UNINSTALLER} << "D:/tools/Velkor"
        << DataDirSource::ProgramFolder;
}

void InstallLayoutTest::uninstallerTellsAnInstall() {
    QFETCH(QString, programDir);
    QFETCH(QStringList, existing);
    QFETCH(QString, dataDir);
    QFETCH(DataDirSource, source);
    const FileExists exists = [&](const QString& path) { return existing.contains(path); };

    const DataDir chosen = dataDirFor({}, {}, programDir, installShareDir(programDir, exists),
                                      QStringLiteral("C:/Users/op/AppData/Local/Velkor"));
    QCOMPARE(chosen.path, dataDir);
    QCOMPARE(chosen.source, source);
    // The icon is beside the program either way.
    QCOMPARE(windowIconFor(programDir, installShareDir(programDir, exists), exists),
             programDir + "/vk-7100-2.ico");
}

// Local, not roaming: records and the step table stay on the bench PC.
void InstallLayoutTest::installedDataGoesToLocalAppData() {
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    QVERIFY(!local.isEmpty());
    const QString programDir = QDir(QCoreApplication::applicationDirPath()).path();
    QFile uninstaller(programDir + "/" VELKOR_UNINSTALLER);
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    const DataDir chosen = dataDirOf(programDir, {});
    uninstaller.remove();
    QCOMPARE(chosen.source, DataDirSource::UserData);
    QCOMPARE(chosen.path, QDir::fromNativeSeparators(local) + "/Velkor");
}

QTEST_GUILESS_MAIN(InstallLayoutTest)
#include "test_install_layout_windows.moc"
