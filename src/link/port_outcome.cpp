#include "link/port_outcome.h"

#include "link/port_name.h"

#include <QStringList>

namespace {

struct OutcomeWords {
    const char16_t* chinese;
    const char* english;
};

OutcomeWords wordsFor(PortOutcome outcome) {
    switch (outcome) {
    case PortOutcome::Absent:
        return {u"没有设备", "no device"};
    case PortOutcome::NoPermission:
        return {u"无权打开", "no permission to open it"};
    case PortOutcome::Busy:
        return {u"被另一个程序占用", "in use by another program"};
    case PortOutcome::Failed:
        return {u"无法打开", "cannot be opened"};
    case PortOutcome::Opens:
        return {u"可以打开，尚未轮到", "opens, not listened to yet"};
    case PortOutcome::Listening:
        return {u"正在等待应答", "waiting for an answer"};
    case PortOutcome::Silent:
        return {u"没有应答", "silent"};
    case PortOutcome::Garbled:
        return {u"收到的不是电源的应答", "sends no reply of a supply"};
    }
    return {u"", ""};
}

} // namespace

PortOutcome portOutcomeOf(const OpenFailure& failure) {
    switch (failure.reason) {
    case OpenFailure::Reason::None:
        return PortOutcome::Opens;
    case OpenFailure::Reason::Missing:
        return PortOutcome::Absent;
    case OpenFailure::Reason::NoPermission:
        return PortOutcome::NoPermission;
    case OpenFailure::Reason::InUse:
        return PortOutcome::Busy;
    case OpenFailure::Reason::Other:
        break;
    }
    return PortOutcome::Failed;
}

QString portsTriedText(const QList<PortTried>& ports) {
    QStringList chinese{QStringLiteral("已尝试的串口：")};
    QStringList english{QStringLiteral("Ports tried:")};
    int absent = 0;
    for (const PortTried& port : ports) {
        if (port.outcome == PortOutcome::Absent) {
            ++absent;
            continue;
        }
        const OutcomeWords words = wordsFor(port.outcome);
        const QString name = portWithDevice(port.portNumber, port.devicePath, u"%1 %2");
        chinese << name + QStringLiteral("：") + QString::fromUtf16(words.chinese);
        english << name + QStringLiteral(": ") + QLatin1String(words.english);
    }
    if (absent == ports.size()) {
        return QStringLiteral("没有可用的串口。\nNo serial port has a device.");
    }
    if (absent > 0) {
        chinese << QStringLiteral("其余 %1 个端口没有设备。").arg(absent);
        english << QStringLiteral("The other %1 ports have no device.").arg(absent);
    }
    return chinese.join(QLatin1Char('\n')) + QLatin1Char('\n') + english.join(QLatin1Char('\n'));
}
