#include "session/supply_session.h"

#include "platform/clock.h"
#include "record/log_text.h"

void SupplySession::setIoWatchdog(bool on) {
    ioWatchdog_.setEnabled(on, platform_.clock->now());
    emit changed();
}

void SupplySession::setIoWatchdogDelay(int seconds) {
    ioWatchdog_.setDelaySeconds(seconds, platform_.clock->now());
}

void SupplySession::heardFromScript() {
    ioWatchdog_.restart(platform_.clock->now());
}

// Only a silence with the output on counts: an output switched on after a
// long quiet gets the whole delay.
void SupplySession::ioWatchdogCheck() {
    if (!ioWatchdog_.enabled()) {
        return;
    }
    const QDateTime now = platform_.clock->now();
    if (!outputOn()) {
        ioWatchdog_.restart(now);
        return;
    }
    if (!ioWatchdog_.due(now)) {
        return;
    }
    stop(LogEnd::WatchdogTrip);
    ioWatchdog_.trip();
    emit changed();
    QString text = QStringLiteral("%1 远程看门狗：%2 秒内没有脚本通信，输出已关闭。\n"
                                  "%1 I/O watchdog: no script spoke for %2 s; the output was "
                                  "switched off.")
                       .arg(timeOfDayText(now.time()))
                       .arg(ioWatchdog_.delaySeconds());
    if (!runEndNotice_.isEmpty()) {
        text += QLatin1Char('\n') + runEndNotice_;
    }
    emit notice(text);
}
