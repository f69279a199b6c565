#include "platform/program_files.h"

#include <QDir>

// The installer puts its uninstaller beside the program and keeps the icon
// there too, so the install's own folder is the program's.
QString installShareDir(const QString& programDir, const FileExists& exists) {
    const QString dir = QDir::cleanPath(programDir);
    return exists(dir + QStringLiteral("/" VELKOR_UNINSTALLER)) ? dir : QString();
}
