#include "remote/remote_start.h"

#include "app/version.h"
#include "platform/dialogs.h"
#include "remote/scpi_port.h"
#include "remote/scpi_server.h"
#include "remote/session_instrument.h"
#include "session/supply_session.h"

#include <cstdio>

std::unique_ptr<ScpiServer> serveScpi(SupplySession& session, Dialogs& dialogs,
                                      const std::optional<QString>& commandLinePort,
                                      const QString& dataDir,
                                      std::function<void(int)> clientsChanged) {
    const ScpiPortChoice choice = scpiPortChoice(commandLinePort, dataDir);
    QString problem = choice.problem;
    std::unique_ptr<ScpiServer> server;
    if (choice.port) {
        server = std::make_unique<ScpiServer>(std::make_unique<SessionInstrument>(session),
                                              QByteArray("Velkor,VK-7100,0,") + kProgramVersion,
                                              std::move(clientsChanged));
        problem = server->listen(*choice.port);
        if (!problem.isEmpty()) {
            problem = QStringLiteral("port %1: %2").arg(*choice.port).arg(problem);
            server.reset();
        }
    }
    if (!problem.isEmpty()) {
        const QString text = QStringLiteral("远程控制 (SCPI) 不可用，程序不带远程控制运行。\n"
                                            "Remote control (SCPI) is not available; the "
                                            "program runs without it.\n\n%1")
                                 .arg(problem);
        // A program without a display still says why on its error output.
        std::fprintf(stderr, "%s\n", qPrintable(text));
        dialogs.message(text, QStringLiteral("Velkor"));
    }
    return server;
}
