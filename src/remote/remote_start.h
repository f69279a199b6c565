#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Dialogs;
class SupplySession;
class ScpiServer;

struct ScpiService {
    // Nothing when SCPI was not asked for or no address could be served.
    std::unique_ptr<ScpiServer> server;
    // A port was asked for and an address of it could not be served.
    bool failed = false;
};

// Serves SCPI for the session when the command line or the settings file asks
// for it; nothing listens otherwise. A port or address that cannot be had is
// told once, without blocking; the caller decides whether to run on.
// clientsChanged hears how many scripts are connected.
ScpiService serveScpi(SupplySession& session, Dialogs& dialogs,
                      const std::optional<QString>& commandLinePort, const QString& dataDir,
                      std::function<void(int)> clientsChanged);
