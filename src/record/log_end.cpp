#include "record/log_end.h"

namespace {

struct BothLanguages {
    QString chinese;
    QString english;
};

QString passesText(int passes) {
    return passes == 1 ? QStringLiteral("1 pass") : QStringLiteral("%1 passes").arg(passes);
}

QString stepsText(int steps) {
    return steps == 1 ? QStringLiteral("1 step") : QStringLiteral("%1 steps").arg(steps);
}

QString englishPosition(const RunPosition& at) {
    return QStringLiteral(" in pass %1 at step %2").arg(at.pass).arg(at.step);
}

BothLanguages endWords(LogEnd end, const RunShape& run) {
    switch (end) {
    case LogEnd::NotNoted:
        return {};
    case LogEnd::SwitchedOff:
        return {QStringLiteral("输出关闭"), QStringLiteral("output switched off")};
    case LogEnd::OverCurrentTrip:
        return {QStringLiteral("过流保护关闭输出"), QStringLiteral("over-current trip")};
    case LogEnd::WatchdogTrip:
        return {QStringLiteral("看门狗关闭输出"), QStringLiteral("watchdog trip")};
    case LogEnd::LinkLost:
        return {QStringLiteral("通讯中断"), QStringLiteral("link lost")};
    case LogEnd::RunCompleted:
        return {QStringLiteral("序列运行完成，共 %1 遍").arg(run.passes),
                QStringLiteral("run completed after %1").arg(passesText(run.passes))};
    case LogEnd::RunStopped:
        return {QStringLiteral("序列运行停止"), QStringLiteral("run stopped")};
    case LogEnd::HandedToRun:
        return {QStringLiteral("输出转入序列运行"), QStringLiteral("output handed to a run")};
    case LogEnd::ProgramClosed:
        return {QStringLiteral("程序关闭"), QStringLiteral("program closed")};
    case LogEnd::StopSignal:
        return {QStringLiteral("停止信号"), QStringLiteral("stop signal")};
    case LogEnd::Logout:
        return {QStringLiteral("注销"), QStringLiteral("logout")};
    case LogEnd::DisplayLost:
        return {QStringLiteral("显示断开"), QStringLiteral("display lost")};
    }
    return {};
}

QString lineOf(const QString& timeOfDay, const BothLanguages& words) {
    return timeOfDay + QStringLiteral("          ") + words.chinese + QStringLiteral(" / ") +
           words.english;
}

} // namespace

QString logEndLine(const QString& timeOfDay, LogEnd end, const RunShape& run, const RunPosition& at,
                   const QString& readings) {
    BothLanguages words = endWords(end, run);
    if (run.isRun() && end != LogEnd::RunCompleted) {
        words.chinese += QStringLiteral("（第 %1 遍第 %2 步）").arg(at.pass).arg(at.step);
        words.english += englishPosition(at);
    }
    const QString line = lineOf(timeOfDay, words);
    return readings.isEmpty() ? line : line + QStringLiteral(": ") + readings;
}

QString runStartLogLine(const QString& timeOfDay, const RunShape& run) {
    if (run.passes == 0) {
        return lineOf(timeOfDay,
                      {QStringLiteral("序列运行开始：%1 步，不限遍数").arg(run.steps),
                       QStringLiteral("run started: %1, until stopped").arg(stepsText(run.steps))});
    }
    return lineOf(
        timeOfDay,
        {QStringLiteral("序列运行开始：%1 步 × %2 遍").arg(run.steps).arg(run.passes),
         QStringLiteral("run started: %1 × %2").arg(stepsText(run.steps), passesText(run.passes))});
}

QString recordSummary(LogEnd end, const RunShape& run, const RunPosition& last) {
    QString what = QStringLiteral("Output on");
    if (run.isRun()) {
        what = run.passes == 0
                   ? QStringLiteral("Run of %1, until stopped").arg(stepsText(run.steps))
                   : QStringLiteral("Run of %1 × %2")
                         .arg(stepsText(run.steps), passesText(run.passes));
    }
    QString how;
    switch (end) {
    case LogEnd::NotNoted:
        how = QStringLiteral("recovered after the program stopped unexpectedly");
        break;
    case LogEnd::SwitchedOff:
        how = QStringLiteral("switched off");
        break;
    case LogEnd::OverCurrentTrip:
        how = QStringLiteral("ended by an over-current trip");
        break;
    case LogEnd::WatchdogTrip:
        how = QStringLiteral("ended by a watchdog trip");
        break;
    case LogEnd::LinkLost:
        how = QStringLiteral("ended when the link was lost");
        break;
    case LogEnd::RunCompleted:
        how = QStringLiteral("completed");
        break;
    case LogEnd::RunStopped:
        how = QStringLiteral("stopped");
        break;
    case LogEnd::HandedToRun:
        how = QStringLiteral("handed over to a run");
        break;
    case LogEnd::ProgramClosed:
        how = QStringLiteral("ended when the program closed");
        break;
    case LogEnd::StopSignal:
        how = QStringLiteral("ended by a stop signal");
        break;
    case LogEnd::Logout:
        how = QStringLiteral("ended by a logout");
        break;
    case LogEnd::DisplayLost:
        how = QStringLiteral("ended when the display was lost");
        break;
    }
    if (run.isRun() && end != LogEnd::RunCompleted && end != LogEnd::NotNoted && last.pass > 0) {
        how += englishPosition(last);
    }
    return what + QStringLiteral(", ") + how;
}
