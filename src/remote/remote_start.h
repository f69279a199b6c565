#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class Dialogs;
class Form1;
class ScpiServer;

// Serves SCPI for the window when the command line or the settings file asks
// for it; nothing listens otherwise. A port that cannot be had is told once,
// without blocking, and the program runs on without it.
std::unique_ptr<ScpiServer> serveScpi(Form1& window, Dialogs& dialogs, const QStringList& arguments,
                                      const QString& dataDir);
