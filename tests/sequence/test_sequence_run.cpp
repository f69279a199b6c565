#include "fakes.h"
#include "link/frame.h"
#include "sequence/step_rows_model.h"
#include "step_table_file.h"
#include "window/log_box.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

namespace {

using Rows = QVector<QVariantList>;
// Consecutive equal frames as (frame, how many ticks composed it).
using FrameRuns = QList<QPair<QString, int>>;

const QByteArray kReply("VKPPSU0000A0000W");
const QString kOff = QStringLiteral("VKPPSU0000H0000N");

// A window on fakes with the given step table whose link came up in a
// display tick: a run started now sees its first countdown step ten ticks
// later.
struct RunWindow {
    WindowOnFakes f;
    MainWindow* w = nullptr;

    explicit RunWindow(const Rows& rows, int port = 3, const QByteArray& settings = {}) {
        if (!writeStepFile(f.programDir(), rows)) {
            qFatal("cannot write the step table");
        }
        if (!settings.isEmpty()) {
            QFile file(f.programDir() + QStringLiteral("/settings.ini"));
            if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size()) {
                qFatal("cannot write the settings");
            }
        }
        f.port.usablePorts = {port};
        f.port.replyWhenIdle = kReply;
        w = &f.build();
        for (int tick = 0; tick < 10; ++tick) {
            w->session().pollTick();
        }
        if (!w->session().state.linkUp || w->session().state.displayDivider != 0) {
            qFatal("the link did not come up in the tenth tick");
        }
    }

    void chooseRunCount(const QString& text) {
        const int index = w->runCountList->findText(text);
        w->runCountList->setCurrentIndex(index);
        emit w->runCountList->activated(index);
    }

    // Ticks as the timers do, 20 characters sent per 100 ms, and collects
    // the frame each tick composed.
    FrameRuns ticks(int count) {
        FrameRuns runs;
        for (int tick = 0; tick < count; ++tick) {
            w->session().pollTick();
            for (int send = 0; send < 20; ++send) {
                w->session().sendTick();
            }
            if (!runs.isEmpty() && runs.last().first == w->session().state.frameText) {
                ++runs.last().second;
            } else {
                runs.append({w->session().state.frameText, 1});
            }
        }
        return runs;
    }

    QStringList records() const { return recordEntries(f); }
};

QString frame(const char* digits) {
    return QStringLiteral("VKPPSU%1O").arg(QString::fromLatin1(digits));
}

// The frame of the tick that ends a run: the output letter turns at once.
QString offFrame(const char* digits) {
    return QStringLiteral("VKPPSU%1N").arg(QString::fromLatin1(digits));
}

void checkIdle(const RunWindow& r) {
    const MainWindow& w = *r.w;
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QCOMPARE(w.session().state.rowIndex, qint16(0));
    QCOMPARE(w.session().state.secondsLeft, qint16(0));
    QCOMPARE(w.runButton->text(), QStringLiteral("开始"));
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    QVERIFY(!w.stepGrid->isLocked());
    for (QWidget* control : std::initializer_list<QWidget*>{
             w.outputButton, w.voltageSlider, w.currentSlider, w.voltageStepList, w.currentStepList,
             w.voltageEntry, w.currentEntry}) {
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
}

bool cellEditable(const MainWindow& w, int row, int column) {
    const QAbstractItemModel* model = w.stepGrid->table()->model();
    return model->flags(model->index(row, column)) & Qt::ItemIsEditable;
}

} // namespace

class SequenceRunTest : public QObject {
    Q_OBJECT
private slots:
    void countedRunSendsEachRowForItsHoldTime();
    void unlimitedRunRepeatsUntilTheButton();
    void oneRowTableWithCountThree();
    void rowLastsItsRoundedHoldTime_data();
    void rowLastsItsRoundedHoldTime();
    void runCountChosenDuringAnUnlimitedRun();
    void runButtonWithoutLinkSaysWhyInTheStatusBar();
    void runLocksFrontPanelAndGrid();
    void runOverManualOutputSavesTheManualPeriodFirst();
    void refusedTableChangesNothing_data();
    void refusedTableChangesNothing();
    void lossEndsTheRunUnlessTheSettingsHoldIt_data();
    void lossEndsTheRunUnlessTheSettingsHoldIt();
    void overCurrentTripEndsTheRun();
    void tripInTheTickThatEndsTheLastPassSavesOnce();
    void countedRunLogsItsLastLineBeforeTheRecord_data();
    void countedRunLogsItsLastLineBeforeTheRecord();
    void runShowsWhereItStandsAndHowItEnded();
    void tableLongerThanOneFetchRunsEveryRow();
};

void SequenceRunTest::countedRunSendsEachRowForItsHoldTime() {
    RunWindow r({{5, 1, 3}, {10, 2, 2}});
    r.chooseRunCount(QStringLiteral("2"));
    r.w->runButtonClicked();
    QVERIFY(r.w->session().running());
    QCOMPARE(r.w->runButton->text(), QStringLiteral("停止"));

    // Row 0 holds until its third display tick. Each row after it goes out
    // from the tick after the step for its full hold time, except that the
    // display tick which ends a pass already carries row 0 again. The tick
    // that ends the last pass keeps the last row and ends the run, switching
    // the output off in its own frame: from the last row straight to off.
    const QString first = frame("0500H1000");
    const QString second = frame("1000H2000");
    const FrameRuns expected{
        {first, 30}, {second, 19}, {first, 31}, {second, 19}, {offFrame("1000H2000"), 1},
        {kOff, 20}};
    QCOMPARE(r.ticks(120), expected);
    checkIdle(r);
    QCOMPARE(r.records().size(), 1);
    QVERIFY(r.f.port.written.contains(second.toLatin1()));
    QVERIFY(r.f.port.written.right(32).contains(kOff.toLatin1()));
    QVERIFY(r.f.dialogs.shown.isEmpty());
}

void SequenceRunTest::unlimitedRunRepeatsUntilTheButton() {
    RunWindow r({{5, 1, 3}, {10, 2, 2}});
    r.w->runButtonClicked();
    const QString first = frame("0500H1000");
    const QString second = frame("1000H2000");
    const FrameRuns expected{{first, 30}, {second, 19}, {first, 31}, {second, 19},
                             {first, 31}, {second, 19}, {first, 31}, {second, 19}};
    QCOMPARE(r.ticks(199), expected);
    QVERIFY(r.w->session().running());
    QVERIFY(r.records().isEmpty());

    r.w->runButtonClicked();
    checkIdle(r);
    QCOMPARE(r.records().size(), 1);
    QCOMPARE(r.ticks(1), (FrameRuns{{kOff, 1}}));
}

void SequenceRunTest::oneRowTableWithCountThree() {
    RunWindow r({{12, 0.5, 2}});
    r.chooseRunCount(QStringLiteral("3"));
    r.w->runButtonClicked();
    QCOMPARE(r.ticks(70),
             (FrameRuns{{frame("1200H0500"), 59}, {offFrame("1200H0500"), 1}, {kOff, 10}}));
    checkIdle(r);
    QCOMPARE(r.records().size(), 1);
}

void SequenceRunTest::rowLastsItsRoundedHoldTime_data() {
    QTest::addColumn<QVariantList>("middleRow");
    QTest::addColumn<QString>("middleFrame");
    QTest::addColumn<int>("ticks");
    const QString frame2 = frame("0200H0200");
    QTest::newRow("0 s") << QVariantList{2, 0.2, 0} << frame2 << 10;
    QTest::newRow("1 s") << QVariantList{2, 0.2, 1} << frame2 << 10;
    QTest::newRow("negative") << QVariantList{2, 0.2, -3} << frame2 << 10;
    QTest::newRow("2 s") << QVariantList{2, 0.2, 2} << frame2 << 20;
    QTest::newRow("2.5 s counts as 2") << QVariantList{2, 0.2, 2.5} << frame2 << 20;
    QTest::newRow("3.5 s counts as 4") << QVariantList{2, 0.2, 3.5} << frame2 << 40;
    QTest::newRow("three decimals") << QVariantList{30.996, 5.0996, 1} << frame("3100H5100") << 10;
}

void SequenceRunTest::rowLastsItsRoundedHoldTime() {
    QFETCH(QVariantList, middleRow);
    QFETCH(QString, middleFrame);
    QFETCH(int, ticks);
    RunWindow r({{1, 0.1, 2}, middleRow, {3, 0.3, 2}});
    r.chooseRunCount(QStringLiteral("1"));
    r.w->runButtonClicked();
    const FrameRuns expected{{frame("0100H0100"), 20},
                             {middleFrame, ticks},
                             {frame("0300H0300"), 19},
                             {offFrame("0300H0300"), 1},
                             {kOff, 10}};
    QCOMPARE(r.ticks(50 + ticks), expected);
    QVERIFY(r.f.dialogs.shown.isEmpty());
}

void SequenceRunTest::runCountChosenDuringAnUnlimitedRun() {
    RunWindow r({{5, 1, 3}, {10, 2, 2}});
    r.w->runButtonClicked();
    r.ticks(35);
    QVERIFY(r.w->runCountList->isEnabled());
    r.chooseRunCount(QStringLiteral("2"));
    // The pass under way is the first of the two.
    r.ticks(64);
    QVERIFY(r.w->session().running());
    r.ticks(1);
    checkIdle(r);
    QCOMPARE(r.records().size(), 1);
    r.ticks(30);
    QCOMPARE(r.records().size(), 1);
}

void SequenceRunTest::runButtonWithoutLinkSaysWhyInTheStatusBar() {
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{5, 1, 3}}));
    MainWindow& w = f.build();
    for (int tick = 0; tick < 15; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(!w.session().state.linkUp);
    const QString log = w.logBox->text();
    w.runButtonClicked();
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QVERIFY(!w.stepGrid->isLocked());
    QVERIFY(w.voltageEntry->isEnabled());
    QCOMPARE(w.runButton->text(), QStringLiteral("开始"));
    QCOMPARE(w.logBox->text(), log);
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(w.statusBar->currentMessage().contains(
        QStringLiteral("The supply does not answer; the run did not start.")));
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText, kOff);
}

void SequenceRunTest::runLocksFrontPanelAndGrid() {
    RunWindow r({{5, 1, 3}, {10, 2, 2}});
    MainWindow& w = *r.w;
    r.ticks(1);
    w.runButtonClicked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             w.outputButton, w.voltageSlider, w.currentSlider, w.voltageStepList, w.currentStepList,
             w.voltageEntry, w.currentEntry}) {
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    }
    QVERIFY(w.overCurrentModeList->isEnabled());
    QVERIFY(w.runCountList->isEnabled());
    QVERIFY(w.runButton->isEnabled());
    QCOMPARE(w.outputButton->text(), QStringLiteral("关"));
    QCOMPARE(w.runButton->palette().color(QPalette::Button), QColor(0, 255, 0));
    QVERIFY(w.stepGrid->isLocked());
    for (int row = 0; row <= 2; ++row) {
        for (int column = 1; column <= 3; ++column) {
            QVERIFY(!cellEditable(w, row, column));
        }
    }
    // Still locked a few seconds on, when the display update has run.
    r.ticks(25);
    QVERIFY(w.stepGrid->isLocked());
    QVERIFY(!w.voltageEntry->isEnabled());

    w.runButtonClicked();
    checkIdle(r);
    QCOMPARE(w.runButton->palette().color(QPalette::Button), QPalette().color(QPalette::Button));
    for (int row = 0; row <= 2; ++row) {
        for (int column = 1; column <= 3; ++column) {
            QVERIFY(cellEditable(w, row, column));
        }
    }
}

// The manual period is a record of its own, saved as the run starts, and the
// output stays on from the one into the other.
void SequenceRunTest::runOverManualOutputSavesTheManualPeriodFirst() {
    RunWindow r({{5, 1, 3}});
    r.w->outputButtonClicked();
    QVERIFY(r.w->session().outputOn());
    r.ticks(30);
    const QString manual = r.w->logBox->text();
    QVERIFY(manual.count(QStringLiteral("\r\n")) > 3);
    r.f.clock.time = r.f.clock.time.addSecs(3);
    r.w->runButtonClicked();
    QVERIFY(r.w->session().running());
    QCOMPARE(r.w->logBox->text(),
             QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:03:12\r\n05:03:12          "
                            "序列运行开始：1 步，不限遍数 / run started: 1 step, until stopped"));
    const QString record = recordDir(r.f) + QStringLiteral("/20261265312.TXT");
    QCOMPARE(r.records(), QStringList{QFileInfo(record).fileName()});
    QCOMPARE(QString::fromLocal8Bit(fileBytes(record)),
             manual +
                 QStringLiteral("\r\n05:03:12          输出转入序列运行 / output handed to a run"
                                "\r\n保存路径:") +
                 QDir::toNativeSeparators(record) + QStringLiteral("\r\n"));
    for (const auto& [sent, count] : r.ticks(20)) {
        QVERIFY(sent.endsWith(QLatin1Char('O')));
    }
    r.w->runButtonClicked();
    QCOMPARE(r.records().size(), 2);
}

void SequenceRunTest::refusedTableChangesNothing_data() {
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("empty table") << Rows{} << "Velkor" << -1 << -1;
    QTest::newRow("row 2 voltage 31.5")
        << Rows{{5, 1, 3}, {31.5, 1, 3}} << "电压数据错误" << 1 << 1;
    QTest::newRow("text as current")
        << Rows{{5, QStringLiteral("1 A"), 3}} << "电流数据错误" << 0 << 2;
    QTest::newRow("hold time of a day")
        << Rows{{5, 1, 3}, {5, 1, 86400}} << "时间数据错误" << 1 << 3;
    QTest::newRow("blank voltage, as the grid keeps text")
        << Rows{{5, 1, 3}, {QVariant(), 1, 3}} << "电压数据错误" << 1 << 1;
}

void SequenceRunTest::refusedTableChangesNothing() {
    QFETCH(Rows, rows);
    QFETCH(QString, title);
    QFETCH(int, row);
    QFETCH(int, column);
    RunWindow r(rows);
    const QString log = r.w->logBox->text();
    r.chooseRunCount(QStringLiteral("2"));
    r.w->runButtonClicked();
    QCOMPARE(r.f.dialogs.shown.size(), 1);
    QCOMPARE(r.f.dialogs.shown.first().title, title);
    checkIdle(r);
    QCOMPARE(r.w->logBox->text(), log);
    if (row >= 0) {
        const QModelIndex current = r.w->stepGrid->table()->currentIndex();
        QCOMPARE(current.row(), row);
        QCOMPARE(current.column(), column);
    }
    QCOMPARE(r.ticks(20), (FrameRuns{{kOff, 20}}));
    QVERIFY(!QDir(r.f.programDir() + QStringLiteral("/Record")).exists());
}

void SequenceRunTest::lossEndsTheRunUnlessTheSettingsHoldIt_data() {
    QTest::addColumn<bool>("hold");
    QTest::newRow("default: the output goes off") << false;
    QTest::newRow("link_loss_output=hold") << true;
}

// A supply that stops answering during a run. By default the run ends at the
// declared loss, its record says so, and a supply that answers again gets
// "N" frames; with the settings key the run rides through the loss.
void SequenceRunTest::lossEndsTheRunUnlessTheSettingsHoldIt() {
    QFETCH(bool, hold);
    // On port 1 a loss also takes the link state down.
    RunWindow r({{5, 1, 3}, {10, 2, 2}}, 1, hold ? "[General]\nlink_loss_output=hold\n" : "");
    MainWindow& w = *r.w;
    QSignalSpy notices(&w.session(), &SupplySession::notice);
    w.runButtonClicked();
    r.f.port.replyWhenIdle.clear();
    r.f.port.usablePorts.clear();
    for (int tick = 0; tick < 200 && w.session().state.portOpened; ++tick) {
        r.ticks(1);
    }
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(!w.session().state.linkUp);
    QCOMPARE(w.session().running(), hold);
    QCOMPARE(r.records().size(), hold ? 0 : 1);
    QCOMPARE(notices.size(), 1);
    if (hold) {
        QVERIFY(notices.first().first().toString().contains(QStringLiteral("held on")));
    } else {
        const QString record = QString::fromLocal8Bit(
            fileBytes(recordDir(r.f) + QLatin1Char('/') + r.records().first()));
        QVERIFY(record.contains(QStringLiteral("link lost")));
        const QString notice = notices.first().first().toString();
        QVERIFY(notice.contains(QStringLiteral("10 V / 2 A")) ||
                notice.contains(QStringLiteral("5 V / 1 A")));
        QVERIFY(notice.contains(QStringLiteral("may still be on")));
        QCOMPARE(w.statusBar->currentMessage(),
                 QString(notice).replace(QLatin1Char('\n'), QStringLiteral("  ")));
    }

    // The lost port is let go of after its whole off frame, or, with the
    // output held, at the end of the frame under way.
    r.f.port.written.clear();
    const FrameRuns lost = r.ticks(60);
    QVERIFY(!r.f.port.isOpen());
    QVERIFY(r.f.port.written.size() <= 16);
    QVERIFY(!r.f.port.written.contains('O') || hold);
    QCOMPARE(w.session().running(), hold);

    r.f.port.usablePorts = {1};
    r.f.port.replyWhenIdle = kReply;
    r.ticks(12);
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(w.session().running(), hold);
    QVERIFY(r.f.port.written.right(32).contains(w.session().state.frameText.toLatin1()));
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char(hold ? 'O' : 'N')));
    QVERIFY(r.f.port.written.contains('O') == hold);

    if (hold) {
        w.runButtonClicked();
        checkIdle(r);
    }
    QCOMPARE(r.records().size(), 1);
    QVERIFY(r.f.dialogs.shown.isEmpty());
}

void SequenceRunTest::overCurrentTripEndsTheRun() {
    RunWindow r({{5, 1, 3}, {10, 2, 2}});
    MainWindow& w = *r.w;
    w.overCurrentModeList->setCurrentIndex(1);
    emit w.overCurrentModeList->activated(1);
    w.runButtonClicked();
    r.ticks(15);
    QVERIFY(w.session().running());
    r.f.port.replyWhenIdle = "VKPPSU0500A1000B";
    // The read tick brings the "B"; the frame of the next tick already
    // switches the output off.
    QCOMPARE(r.ticks(6), (FrameRuns{{QStringLiteral("VKPPSU0500C1000O"), 5},
                                    {QStringLiteral("VKPPSU0500C1000N"), 1}}));
    checkIdle(r);
    QCOMPARE(r.records().size(), 1);
    QCOMPARE(r.ticks(1), (FrameRuns{{QStringLiteral("VKPPSU0000C0000N"), 1}}));
    // The operator is told why the output went off.
    QCOMPARE(r.f.dialogs.shown.size(), 1);
    QVERIFY(r.f.dialogs.shown.first().text.contains(QStringLiteral("over-current")));
}

void SequenceRunTest::tripInTheTickThatEndsTheLastPassSavesOnce() {
    RunWindow r({{12, 0.5, 2}});
    MainWindow& w = *r.w;
    w.overCurrentModeList->setCurrentIndex(1);
    emit w.overCurrentModeList->activated(1);
    r.chooseRunCount(QStringLiteral("1"));
    w.runButtonClicked();
    r.ticks(19);
    QVERIFY(w.session().running());
    // The reply read a tick ago reported over-current; this display tick
    // also completes the only pass.
    w.session().state.overCurrent = true;
    r.ticks(1);
    checkIdle(r);
    r.ticks(30);
    QCOMPARE(r.records().size(), 1);
}

void SequenceRunTest::countedRunLogsItsLastLineBeforeTheRecord_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("onCaption");
    QTest::addColumn<QString>("runCaption");
    QTest::addColumn<QString>("savePath");
    QTest::newRow("Chinese") << false << "关"
                             << "停止"
                             << "保存路径:";
    QTest::newRow("English") << true << "OFF"
                             << "STOP"
                             << "Save Path:";
}

void SequenceRunTest::countedRunLogsItsLastLineBeforeTheRecord() {
    QFETCH(bool, english);
    QFETCH(QString, onCaption);
    QFETCH(QString, runCaption);
    QFETCH(QString, savePath);
    RunWindow r({{12, 0.5, 2}});
    MainWindow& w = *r.w;
    w.languageList->setCurrentIndex(english ? 1 : 0);
    emit w.languageList->activated(english ? 1 : 0);
    r.chooseRunCount(QStringLiteral("1"));
    w.runButtonClicked();
    QCOMPARE(w.outputButton->text(), onCaption);
    QCOMPARE(w.runButton->text(), runCaption);
    r.ticks(20);
    QVERIFY(!w.session().running());

    const QStringList records = r.records();
    QCOMPARE(records.size(), 1);
    const QStringList lines =
        QString::fromLocal8Bit(fileBytes(recordDir(r.f) + QLatin1Char('/') + records.first()))
            .split(QStringLiteral("\r\n"));
    // Header, the run's start, one line for each of its two display ticks,
    // its end, the path.
    QCOMPARE(lines.size(), 3 + 1 + 2 + 1 + 2);
    QVERIFY2(lines.at(3).endsWith(QStringLiteral("run started: 1 step × 1 pass")),
             qPrintable(lines.at(3)));
    for (const QString& line : lines.mid(4, 2)) {
        QVERIFY2(line.endsWith(QStringLiteral("00.00V          0.000A")), qPrintable(line));
    }
    QVERIFY2(
        lines.at(6).endsWith(QStringLiteral("序列运行完成，共 1 遍 / run completed after 1 pass")),
        qPrintable(lines.at(6)));
    QVERIFY(lines.at(7).startsWith(savePath));
    QVERIFY(lines.at(8).isEmpty());
}

// Three steps of two seconds, two passes: the status bar goes through each
// step of each pass once; at step 2 of pass 2 the grid marks its row and
// the entries show its setpoints; the end is told once, and the window
// shows the operator's own values again.
void SequenceRunTest::runShowsWhereItStandsAndHowItEnded() {
    RunWindow r({{6.5, 0.8, 2}, {12, 1.5, 2}, {3, 0.2, 2}});
    MainWindow& w = *r.w;
    const QAbstractItemModel* grid = w.stepGrid->table()->model();
    const auto marked = [grid](int row) {
        return grid->data(grid->index(row, kVoltageColumn), Qt::BackgroundRole) ==
               QVariant(kMarkedStepColour);
    };
    const QLabel* progressPanel = w.findChild<QLabel*>(QStringLiteral("statusPanel3"));
    const QString version = progressPanel->text();
    const QString manualVoltage = w.voltageEntry->text();
    r.chooseRunCount(QStringLiteral("2"));
    w.runButtonClicked();
    QStringList positions;
    bool sawStepTwoOfPassTwo = false;
    for (int tick = 0; tick < 200 && w.session().running(); ++tick) {
        const QString position = progressPanel->text().section(QStringLiteral(" · "), 0, 1);
        if (positions.isEmpty() || positions.last() != position) {
            positions << position;
        }
        if (position == QStringLiteral("第 2/3 步 · 第 2/2 遍") && !sawStepTwoOfPassTwo) {
            sawStepTwoOfPassTwo = true;
            QVERIFY(marked(1) && !marked(0) && !marked(2));
            QCOMPARE(w.voltageEntry->text(), QStringLiteral("12V"));
            QCOMPARE(w.currentEntry->text(), QStringLiteral("1.5A"));
            QCOMPARE(w.voltageSlider->value(), 1200);
            QVERIFY(progressPanel->text().endsWith(QStringLiteral(" 秒")));
        }
        r.ticks(1);
    }
    QVERIFY(!w.session().running());
    QCOMPARE(positions, (QStringList{QStringLiteral("第 1/3 步 · 第 1/2 遍"),
                                     QStringLiteral("第 2/3 步 · 第 1/2 遍"),
                                     QStringLiteral("第 3/3 步 · 第 1/2 遍"),
                                     QStringLiteral("第 1/3 步 · 第 2/2 遍"),
                                     QStringLiteral("第 2/3 步 · 第 2/2 遍"),
                                     QStringLiteral("第 3/3 步 · 第 2/2 遍")}));
    QVERIFY(w.statusBar->currentMessage().endsWith(
        QStringLiteral("The run completed after 2 passes.")));
    QCOMPARE(progressPanel->text(), version);
    QVERIFY(!marked(0) && !marked(1) && !marked(2));
    QCOMPARE(w.voltageEntry->text(), manualVoltage);
    QCOMPARE(w.voltageSlider->value(), int(w.session().state.voltageSetpointCentivolts));
    QCOMPARE(w.session().runProgress().at, RunPosition{});
}

void SequenceRunTest::tableLongerThanOneFetchRunsEveryRow() {
    // SQLite hands its rows to the grid's model in blocks of 256.
    Rows rows;
    for (int row = 0; row < 300 + 50; ++row) {
        rows.append({row * 0.05, 0.1, 1});
    }
    RunWindow r(rows);
    r.chooseRunCount(QStringLiteral("1"));
    r.w->runButtonClicked();
    const FrameRuns runs = r.ticks(rows.size() * 10 + 10);
    QStringList sent;
    for (const auto& run : runs) {
        sent.append(run.first);
    }
    QStringList expected;
    for (int row = 0; row < rows.size(); ++row) {
        expected.append(QStringLiteral("VKPPSU%1H0100O").arg(row * 5, 4, 10, QLatin1Char('0')));
    }
    expected << expected.last().left(kFrameLength - 1) + QLatin1Char('N') << kOff;
    QCOMPARE(sent, expected);
}

VELKOR_TEST_MAIN_IN_C_LOCALE(SequenceRunTest)
#include "test_sequence_run.moc"
