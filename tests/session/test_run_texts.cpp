#include "record/log_end.h"
#include "session/run_progress.h"

#include <QtTest>

// What the operator and the record are told of a run: where it stands, how
// it ended, and the record's first and last lines, in both languages.
class RunTextsTest : public QObject {
    Q_OBJECT
private slots:
    void progressAndEndTexts();
};

void RunTextsTest::progressAndEndTexts() {
    const RunShape fiveByThree{5, 3};
    const RunShape endless{5, 0};
    const RunShape manual{};
    const RunPosition stepThreePassTwo{3, 2};
    const QString time = QStringLiteral("05:03:09");
    const QString gap(10, QLatin1Char(' '));
    struct Case {
        QString got;
        QString expected;
    };
    const QList<Case> cases = {
        // The status bar while a run goes.
        {runProgressText({fiveByThree, stepThreePassTwo, 15}, true),
         QStringLiteral("step 3 of 5 · pass 2 of 3 · 1.5 s left")},
        {runProgressText({fiveByThree, stepThreePassTwo, 15}, false),
         QStringLiteral("第 3/5 步 · 第 2/3 遍 · 还剩 1.5 秒")},
        {runProgressText({endless, {1, 7}, 120}, true),
         QStringLiteral("step 1 of 5 · pass 7 · 12.0 s left")},
        {runProgressText({endless, {1, 7}, 3}, false),
         QStringLiteral("第 1/5 步 · 第 7 遍 · 还剩 0.3 秒")},
        {runProgressText({manual, {}, 0}, true), QString()},
        // The status bar's word at the end of a run.
        {runEndNotice(time, LogEnd::RunCompleted, fiveByThree, {5, 3}),
         QStringLiteral("05:03:09 序列运行完成，共 3 遍。\n05:03:09 The run completed after 3 "
                        "passes.")},
        {runEndNotice(time, LogEnd::RunCompleted, {2, 1}, {2, 1}),
         QStringLiteral("05:03:09 序列运行完成，共 1 遍。\n05:03:09 The run completed after 1 "
                        "pass.")},
        {runEndNotice(time, LogEnd::RunStopped, fiveByThree, stepThreePassTwo),
         QStringLiteral("05:03:09 序列运行在第 2 遍第 3 步停止。\n05:03:09 The run was stopped in "
                        "pass 2 at step 3.")},
        {runEndNotice(time, LogEnd::OverCurrentTrip, endless, {4, 9}),
         QStringLiteral("05:03:09 序列运行在第 9 遍第 4 步因过流保护结束。\n05:03:09 The run "
                        "ended at an over-current trip in pass 9 at step 4.")},
        {runEndNotice(time, LogEnd::LinkLost, fiveByThree, stepThreePassTwo),
         QStringLiteral("05:03:09 序列运行在第 2 遍第 3 步因失去电源结束。\n05:03:09 The run "
                        "ended when the supply was lost, in pass 2 at step 3.")},
        {runEndNotice(time, LogEnd::StopSignal, fiveByThree, stepThreePassTwo), QString()},
        // The record's lines around its measurements.
        {runStartLogLine(time, fiveByThree),
         time + gap +
             QStringLiteral("序列运行开始：5 步 × 3 遍 / run started: 5 steps × 3 passes")},
        {runStartLogLine(time, {1, 0}),
         time + gap +
             QStringLiteral("序列运行开始：1 步，不限遍数 / run started: 1 step, until "
                            "stopped")},
        {logEndLine(time, LogEnd::LinkLost, manual, {}),
         time + gap + QStringLiteral("通讯中断 / link lost")},
        {logEndLine(time, LogEnd::OverCurrentTrip, manual, {}, QStringLiteral("12.00V 0.500A")),
         time + gap + QStringLiteral("过流保护关闭输出 / over-current trip: 12.00V 0.500A")},
        {logEndLine(time, LogEnd::WatchdogTrip, fiveByThree, stepThreePassTwo),
         time + gap +
             QStringLiteral(
                 "看门狗关闭输出（第 2 遍第 3 步） / watchdog trip in pass 2 at step 3")},
        {logEndLine(time, LogEnd::RunCompleted, fiveByThree, {5, 3}),
         time + gap + QStringLiteral("序列运行完成，共 3 遍 / run completed after 3 passes")},
        {logEndLine(time, LogEnd::DisplayLost, manual, {}),
         time + gap + QStringLiteral("显示断开 / display lost")},
    };
    for (const Case& c : cases) {
        QCOMPARE(c.got, c.expected);
    }
}

QTEST_MAIN(RunTextsTest)
#include "test_run_texts.moc"
