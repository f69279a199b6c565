#include "day_run.h"

#include "step_table_file.h"

#include <QCoreApplication>
#include <QDir>

bool DayRun::start() {
    if (!writeStepFile(fakes.programDir(), {{5, 1, 3}, {10, 2, 2}})) {
        return false;
    }
    fakes.port.usablePorts = {3};
    fakes.port.replyWhenIdle = QByteArrayLiteral("VKPPSU0500A0500W");
    window = &fakes.build();
    run(20);
    if (!window->session().state.linkUp) {
        return false;
    }
    window->runButtonClicked();
    return window->session().running();
}

void DayRun::run(qint64 ticks, const std::function<void(qint64)>& afterTick) {
    for (qint64 tick = 0; tick < ticks; ++tick) {
        fakes.clock.time = fakes.clock.time.addMSecs(100);
        window->session().pollTick();
        for (int send = 0; send < 20; ++send) {
            window->session().sendTick();
        }
        // The real event loop runs between ticks; the log box frees the
        // lines it drops only then.
        if (tick % 10 == 9) {
            QCoreApplication::processEvents();
        }
        if (afterTick) {
            afterTick(tick);
        }
    }
}

QString DayRun::stop() {
    window->runButtonClicked();
    const QDir records(fakes.programDir() + QStringLiteral("/Record"));
    const QStringList files = records.entryList({QStringLiteral("*.TXT")}, QDir::Files);
    return files.size() == 1 ? records.filePath(files.first()) : QString();
}
