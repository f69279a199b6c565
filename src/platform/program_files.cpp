#include "platform/program_files.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

const QString kIconFile = QStringLiteral("vk-7100-2.ico");

bool existsOnDisk(const QString& path) {
    return QFileInfo::exists(path);
}

} // namespace

DataDir dataDirFor(const QString& option, const QString& environment, const QString& programDir,
                   const QString& shareDir, const QString& userDataDir) {
    if (!option.isEmpty())
        return {option, DataDirSource::Option};
    if (!environment.isEmpty())
        return {environment, DataDirSource::Environment};
    if (!shareDir.isEmpty())
        return {userDataDir, DataDirSource::UserData};
    return {programDir, DataDirSource::ProgramFolder};
}

QString windowIconFor(const QString& programDir, const QString& shareDir,
                      const FileExists& exists) {
    const QString beside = programDir + QLatin1Char('/') + kIconFile;
    if (exists(beside) || shareDir.isEmpty())
        return beside;
    return shareDir + QStringLiteral("/velkor/") + kIconFile;
}

DataDir dataDirOf(const QString& programDir, const QString& option) {
    DataDir dataDir =
        dataDirFor(option, qEnvironmentVariable("VELKOR_DATA_DIR"), programDir,
                   installShareDir(programDir, existsOnDisk),
                   QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    dataDir.path = QDir::cleanPath(QDir().absoluteFilePath(dataDir.path));
    return dataDir;
}

QString prepareDataDir(const DataDir& dataDir) {
    const bool named =
        dataDir.source == DataDirSource::Option || dataDir.source == DataDirSource::Environment;
    if (!QDir().mkpath(dataDir.path)) {
        return named ? QStringLiteral("the data folder %1 cannot be made.").arg(dataDir.path)
                     : QString();
    }
    // Read-only media or a folder of another user: the step table would
    // open read-only and every record would fail.
    QTemporaryFile probe(dataDir.path + QStringLiteral("/.velkor-write-check-XXXXXX"));
    if (named && !probe.open()) {
        return QStringLiteral("nothing can be written in the data folder %1 (%2).")
            .arg(dataDir.path, probe.errorString());
    }
    return {};
}

QString windowIconFile(const QString& programDir) {
    const QString icon =
        windowIconFor(programDir, installShareDir(programDir, existsOnDisk), existsOnDisk);
    return existsOnDisk(icon) ? icon : QString();
}
