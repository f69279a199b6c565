#include "record/record_companions.h"

#include "record/record_csv.h"
#include "record/run_picture.h"

#include <QBuffer>
#include <QFileInfo>

namespace {

QString stemOf(const QString& recordPath) {
    const QFileInfo info(recordPath);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return recordPath.left(recordPath.size() - name.size() + (dot < 0 ? name.size() : dot));
}

} // namespace

QString companionPath(const QString& recordPath, const QString& extension) {
    return stemOf(recordPath) + QLatin1Char('.') + extension;
}

QStringList recordCompanionSuffixes() {
    return {QStringLiteral(".csv"), QStringLiteral(".png")};
}

CompanionFile recordSpreadsheet(const RunSeries& series) {
    return {recordCompanionSuffixes()[0], recordCsv(series)};
}

QList<CompanionFile> recordCompanions(const QString& recordPath, const RunSeries& series) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    drawRunPicture(series, QFileInfo(stemOf(recordPath)).fileName()).save(&buffer, "PNG");
    return {recordSpreadsheet(series), {recordCompanionSuffixes()[1], png}};
}
