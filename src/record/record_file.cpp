#include "record/record_file.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

QString freeRecordPath(const QString& recordDir, const QString& stamp) {
    QString path = recordDir + QLatin1Char('/') + stamp + QStringLiteral(".TXT");
    for (int suffix = 2; QFileInfo::exists(path); ++suffix) {
        path = recordDir + QLatin1Char('/') + stamp + QLatin1Char('_') + QString::number(suffix) +
               QStringLiteral(".TXT");
    }
    return path;
}

QString writeRecordFile(const QString& path, const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    return writeRecordBytes(path, encoder.encode(text));
}

QString writeRecordBytes(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    // The text goes to the device here and not inside commit(): in Qt 6.4
    // commit() misses a failure of that last write (disk full, file too
    // large) and puts an empty or cut file in place as if it were saved.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}
