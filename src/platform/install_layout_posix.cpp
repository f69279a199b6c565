#include "platform/program_files.h"

#include <QDir>
#include <QFileInfo>

QString installShareDir(const QString& programDir, const FileExists& exists) {
    const QString dir = QDir::cleanPath(programDir);
    if (QFileInfo(dir).fileName() != QLatin1String("bin"))
        return {};
    const QString share = QDir::cleanPath(dir + QStringLiteral("/../share"));
    const QString entry = share + QStringLiteral("/applications/" VELKOR_APP_ID ".desktop");
    return exists(entry) ? share : QString();
}
