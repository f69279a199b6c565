#include "remote/scpi_port.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

ScpiPortChoice portFrom(const QString& text, const QString& source) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        return {std::nullopt,
                QStringLiteral("%1: \"%2\" is no port number 1..65535").arg(source, text)};
    }
    return {static_cast<quint16>(port), {}};
}

} // namespace

ScpiPortChoice scpiPortChoice(const QStringList& arguments, const QString& dataDir) {
    const QString option = QStringLiteral("--scpi");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == option) {
            return portFrom(arguments.value(i + 1), option);
        }
        if (arguments[i].startsWith(option + QLatin1Char('='))) {
            return portFrom(arguments[i].mid(option.size() + 1), option);
        }
    }
    const QString file = dataDir + QLatin1Char('/') + QLatin1String(kSettingsFileName);
    if (!QFileInfo::exists(file)) {
        return {};
    }
    const QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("scpi_port"));
    if (!value.isValid()) {
        return {};
    }
    return portFrom(value.toString(),
                    QDir::toNativeSeparators(file) + QStringLiteral(" scpi_port"));
}
