#include "remote/scpi_port.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString settingsFile(const QString& dataDir) {
    return dataDir + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

ScpiPortChoice portFrom(const QString& text, const QString& source) {
    const std::optional<quint16> port = scpiPortNumber(text);
    if (!port) {
        return {std::nullopt,
                QStringLiteral("%1: \"%2\" is no port number 1..65535").arg(source, text)};
    }
    return {port, {}};
}

} // namespace

std::optional<quint16> scpiPortNumber(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(port);
}

ScpiPortChoice scpiPortChoice(const std::optional<QString>& commandLinePort,
                              const QString& dataDir) {
    if (commandLinePort) {
        return portFrom(*commandLinePort, QStringLiteral("--scpi"));
    }
    const QString file = settingsFile(dataDir);
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

bool otherAccountsAllowed(const QString& dataDir) {
    const QString file = settingsFile(dataDir);
    return QFileInfo::exists(file) &&
           QSettings(file, QSettings::IniFormat)
                   .value(QStringLiteral("scpi_other_accounts"))
                   .toString()
                   .trimmed()
                   .compare(QStringLiteral("allow"), Qt::CaseInsensitive) == 0;
}
