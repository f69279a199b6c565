#pragma once

#include <QString>
#include <memory>
#include <optional>

class Dialogs;
class MainWindow;
class ScpiServer;

// Serves SCPI for the window when the command line or the settings file asks
// for it; nothing listens otherwise. A port that cannot be had is told once,
// without blocking, and the program runs on without it.
std::unique_ptr<ScpiServer> serveScpi(MainWindow& window, Dialogs& dialogs,
                                      const std::optional<QString>& commandLinePort,
                                      const QString& dataDir);
