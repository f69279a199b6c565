#pragma once

#include <QString>
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

// A TCP port number, 1..65535, from its text; none for anything else.
std::optional<quint16> scpiPortNumber(const QString& text);

// The SCPI port given on the command line, else scpi_port in the data
// folder's settings file.
ScpiPortChoice scpiPortChoice(const std::optional<QString>& commandLinePort,
                              const QString& dataDir);

// The settings file's scpi_other_accounts=allow serves scripts of every
// account on this computer, not only the program's own.
bool otherAccountsAllowed(const QString& dataDir);
