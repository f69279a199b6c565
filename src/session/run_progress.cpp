#include "session/run_progress.h"

QString runProgressText(const RunProgress& progress, bool english) {
    if (!progress.run.isRun()) {
        return {};
    }
    const RunShape& run = progress.run;
    const RunPosition& at = progress.at;
    const QString secondsLeft = QString::number(progress.tenthsLeft / 10) + QLatin1Char('.') +
                                QString::number(progress.tenthsLeft % 10);
    if (english) {
        const QString pass = run.passes == 0
                                 ? QStringLiteral("pass %1").arg(at.pass)
                                 : QStringLiteral("pass %1 of %2").arg(at.pass).arg(run.passes);
        return QStringLiteral("step %1 of %2 · %3 · %4 s left")
            .arg(at.step)
            .arg(run.steps)
            .arg(pass, secondsLeft);
    }
    const QString pass = run.passes == 0
                             ? QStringLiteral("第 %1 遍").arg(at.pass)
                             : QStringLiteral("第 %1/%2 遍").arg(at.pass).arg(run.passes);
    return QStringLiteral("第 %1/%2 步 · %3 · 还剩 %4 秒")
        .arg(at.step)
        .arg(run.steps)
        .arg(pass, secondsLeft);
}

QString runEndNotice(const QString& timeOfDay, LogEnd end, const RunShape& run,
                     const RunPosition& at) {
    QString chinese;
    QString english;
    const QString whereChinese = QStringLiteral("第 %1 遍第 %2 步").arg(at.pass).arg(at.step);
    const QString whereEnglish = QStringLiteral("in pass %1 at step %2").arg(at.pass).arg(at.step);
    switch (end) {
    case LogEnd::RunCompleted:
        chinese = QStringLiteral("序列运行完成，共 %1 遍。").arg(run.passes);
        english = run.passes == 1
                      ? QStringLiteral("The run completed after 1 pass.")
                      : QStringLiteral("The run completed after %1 passes.").arg(run.passes);
        break;
    case LogEnd::RunStopped:
        chinese = QStringLiteral("序列运行在%1停止。").arg(whereChinese);
        english = QStringLiteral("The run was stopped %1.").arg(whereEnglish);
        break;
    case LogEnd::OverCurrentTrip:
        chinese = QStringLiteral("序列运行在%1因过流保护结束。").arg(whereChinese);
        english = QStringLiteral("The run ended at an over-current trip %1.").arg(whereEnglish);
        break;
    case LogEnd::WatchdogTrip:
        chinese = QStringLiteral("序列运行在%1因看门狗结束。").arg(whereChinese);
        english = QStringLiteral("The run ended at a watchdog trip %1.").arg(whereEnglish);
        break;
    case LogEnd::LinkLost:
        chinese = QStringLiteral("序列运行在%1因失去电源结束。").arg(whereChinese);
        english = QStringLiteral("The run ended when the supply was lost, %1.").arg(whereEnglish);
        break;
    default:
        return {};
    }
    return QStringLiteral("%1 %2\n%1 %3").arg(timeOfDay, chinese, english);
}
