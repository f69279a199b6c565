#include "remote/remote_start.h"

#include "app/version.h"
#include "platform/dialogs.h"
#include "remote/scpi_port.h"
#include "remote/scpi_server.h"
#include "remote/session_instrument.h"
#include "session/supply_session.h"

#include <cstdio>

ScpiService serveScpi(SupplySession& session, Dialogs& dialogs,
                      const std::optional<QString>& commandLinePort, const QString& dataDir,
                      std::function<void(int)> clientsChanged) {
    const ScpiPortChoice choice = scpiPortChoice(commandLinePort, dataDir);
    QString problem = choice.problem;
    ScpiService service;
    if (choice.port) {
        ScpiServerHooks hooks;
        hooks.clientsChanged = std::move(clientsChanged);
        hooks.heard = [&session] { session.heardFromScript(); };
        hooks.otherAccountsAllowed = otherAccountsAllowed(dataDir);
        service.server = std::make_unique<ScpiServer>(
            std::make_unique<SessionInstrument>(session),
            QByteArray("Velkor,VK-7100,0,") + kProgramVersion, std::move(hooks));
        const ScpiServer::Listening listening = service.server->listen(*choice.port);
        problem = listening.problem;
        if (!listening.note.isEmpty()) {
            std::fprintf(stderr, "SCPI served without an address this computer lacks: %s\n",
                         qPrintable(listening.note));
        }
        if (!service.server->listening()) {
            service.server.reset();
        }
    }
    if (!problem.isEmpty()) {
        service.failed = true;
        const QString text =
            service.server
                ? QStringLiteral("远程控制 (SCPI) 只在部分地址上可用。\n"
                                 "Remote control (SCPI) is served on some addresses only.\n\n%1")
                : QStringLiteral("远程控制 (SCPI) 不可用，程序不带远程控制运行。\n"
                                 "Remote control (SCPI) is not available; the "
                                 "program runs without it.\n\n%1");
        // A program without a display still says why on its error output.
        std::fprintf(stderr, "%s\n", qPrintable(text.arg(problem)));
        dialogs.message(text.arg(problem), QStringLiteral("Velkor"));
    }
    return service;
}
