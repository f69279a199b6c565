#include "platform/program_files.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kIconFile = QStringLiteral("vk-7100-2.ico");

bool existsOnDisk(const QString& path) {
    return QFileInfo::exists(path);
}

} // namespace

QString installShareDir(const QString& programDir, const FileExists& exists) {
    const QString dir = QDir::cleanPath(programDir);
    if (QFileInfo(dir).fileName() != QLatin1String("bin"))
        return {};
    const QString share = QDir::cleanPath(dir + QStringLiteral("/../share"));
    const QString entry = share + QStringLiteral("/applications/" VELKOR_APP_ID ".desktop");
    return exists(entry) ? share : QString();
}

QString dataDirFor(const QString& programDir, const QString& shareDir, const QString& userDataDir) {
    return shareDir.isEmpty() ? programDir : userDataDir;
}

QString windowIconFor(const QString& programDir, const QString& shareDir,
                      const FileExists& exists) {
    const QString beside = programDir + QLatin1Char('/') + kIconFile;
    if (exists(beside) || shareDir.isEmpty())
        return beside;
    return shareDir + QStringLiteral("/velkor/") + kIconFile;
}

QString dataDirOf(const QString& programDir) {
    return dataDirFor(programDir, installShareDir(programDir, existsOnDisk),
                      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString prepareDataDir(const QString& programDir) {
    const QString dataDir = dataDirOf(programDir);
    // A folder that cannot be made shows up where it is used: the step table
    // and the record files report their own failures.
    QDir().mkpath(dataDir);
    return dataDir;
}

QString windowIconFile(const QString& programDir) {
    const QString icon =
        windowIconFor(programDir, installShareDir(programDir, existsOnDisk), existsOnDisk);
    return existsOnDisk(icon) ? icon : QString();
}
