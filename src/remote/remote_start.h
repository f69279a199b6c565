#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Dialogs;
class SupplySession;
class ScpiServer;

// Serves SCPI for the session when the command line or the settings file asks
// for it; nothing listens otherwise. A port that cannot be had is told once,
// without blocking, and the program runs on without it.
// clientsChanged hears how many scripts are connected.
std::unique_ptr<ScpiServer> serveScpi(SupplySession& session, Dialogs& dialogs,
                                      const std::optional<QString>& commandLinePort,
                                      const QString& dataDir,
                                      std::function<void(int)> clientsChanged);
