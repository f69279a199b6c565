#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The settings file in the data folder; its scpi_port key serves SCPI for a
// program started from the menu.
inline constexpr char kSettingsFileName[] = "settings.ini";

struct ScpiPortChoice {
    // No port: nothing listens.
    std::optional<quint16> port;
    // Why a port that was asked for is not usable.
    QString problem;
};

// The SCPI port from "--scpi PORT" or "--scpi=PORT" among the program's
// arguments, else from scpi_port in the data folder's settings file.
ScpiPortChoice scpiPortChoice(const QStringList& arguments, const QString& dataDir);
