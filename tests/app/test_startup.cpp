#include "fakes.h"
#include "platform/file_calls.h"
#include "step_table_file.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <atomic>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void entriesAndSelectionsAfterStartUp();
    void listsAreFilledExactly();
    void stateRecordAfterStartUp();
    void measurementLogHeaderIsExact();
    void iconIsOptional();
    void shutDownClosesAnOpenPortOnly();
    void closeStopsAsAnySwitchOffFirst_data();
    void closeStopsAsAnySwitchOffFirst();
    void aClosingSessionRefusesOnAndRun();
    void clearButtonClearsTheDiagnosticPane();
    void diagnosticPaneKeepsOnlyRecentLines();
};

void StartupTest::entriesAndSelectionsAfterStartUp() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("0V"));
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0A"));
    QCOMPARE(w.runCountList->currentText(), QStringLiteral("x"));
    QCOMPARE(w.overCurrentModeList->currentText(), QStringLiteral("恒流输出"));
    QCOMPARE(w.languageList->currentText(), QStringLiteral("中文"));
    QCOMPARE(w.voltageStepList->currentText(), QStringLiteral("0V"));
    QCOMPARE(w.currentStepList->currentText(), QStringLiteral("0A"));
    QVERIFY(w.statusPanels[0]->text().startsWith(QStringLiteral("通讯状态:等待...")));
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("Velkor"));
    QCOMPARE(w.statusPanels[2]->text(), QStringLiteral("版本号：1.0"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Velkor"));
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.size(), QSize(1440, 900));
    QCOMPARE(w.voltageEntry->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QCOMPARE(w.currentEntry->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QCOMPARE(w.voltageSlider->maximum(), 3100);
    QCOMPARE(w.currentSlider->maximum(), 5100);
    QCOMPARE(w.voltageSlider->minimum(), 0);
    QCOMPARE(w.voltageSlider->orientation(), Qt::Vertical);
    QCOMPARE(w.session().findChild<QTimer*>(QStringLiteral("pollTimer"))->interval(), 100);
    QCOMPARE(w.session().findChild<QTimer*>(QStringLiteral("sendTimer"))->interval(), 5);
    QCOMPARE(w.session().findChild<QTimer*>(QStringLiteral("sendTimer"))->timerType(),
             Qt::PreciseTimer);
    QCOMPARE(f.port.settings, QStringLiteral("9600,N,8,1"));
    QVERIFY(!f.port.isOpen());
    QVERIFY(f.dialogs.shown.isEmpty());
}

void StartupTest::listsAreFilledExactly() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.voltageStepList->count(), 32);
    QCOMPARE(w.voltageStepList->itemText(31), QStringLiteral("31V"));
    QCOMPARE(w.currentStepList->count(), 52);
    QStringList currents;
    for (int i = 0; i < w.currentStepList->count(); ++i) {
        currents << w.currentStepList->itemText(i);
    }
    QCOMPARE(currents.mid(0, 3), (QStringList{"0A", "0.1A", "0.2A"}));
    QCOMPARE(currents.at(10), QStringLiteral("1A"));
    QCOMPARE(currents.at(11), QStringLiteral("1.1A"));
    QCOMPARE(currents.at(30), QStringLiteral("3A"));
    QCOMPARE(currents.at(51), QStringLiteral("5.1A"));
    const QRegularExpression trailingZeroOrPoint(QStringLiteral("\\.(\\d*0)?A$"));
    for (const QString& text : currents) {
        QVERIFY2(!trailingZeroOrPoint.match(text).hasMatch(), qPrintable(text));
    }
    QCOMPARE(w.languageList->count(), 2);
    QCOMPARE(w.languageList->itemText(1), QStringLiteral("English"));
    QCOMPARE(w.overCurrentModeList->count(), 2);
    QCOMPARE(w.overCurrentModeList->itemText(1), QStringLiteral("过流关断"));
    QCOMPARE(w.runCountList->count(), 101);
    QCOMPARE(w.runCountList->itemText(0), QStringLiteral("x"));
    QCOMPARE(w.runCountList->itemText(1), QStringLiteral("1"));
    QCOMPARE(w.runCountList->itemText(100), QStringLiteral("100"));
}

void StartupTest::stateRecordAfterStartUp() {
    WindowOnFakes f;
    const MainWindow& w = f.build();
    const SessionState& s = w.session().state;
    QCOMPARE(s.portOpened, false);
    QCOMPARE(s.portNumber, qint16(0));
    QCOMPARE(s.voltageDigits, QStringLiteral("0000"));
    QCOMPARE(s.currentDigits, QStringLiteral("0000"));
    QCOMPARE(w.session().outputState(), OutputState::Off);
    QCOMPARE(s.lastVoltageText, QStringLiteral("0V"));
    QCOMPARE(s.voltageSetpointCentivolts, 0);
    QVERIFY(s.lastCurrentText.isEmpty());
    QCOMPARE(s.englishUi, false);
    QCOMPARE(s.tripMode, false);
    QCOMPARE(s.runsUnlimited, true);
    QCOMPARE(s.runsLeft, qint16(0));
    QCOMPARE(w.view.chartIndex, 0);
    QCOMPARE(s.rowIndex, qint16(0));
    QCOMPARE(s.secondsLeft, qint16(0));
    QVERIFY(s.frameText.isEmpty());
    QCOMPARE(w.view.scaleX, 1.0f);
    QCOMPARE(w.view.scaleY, 1.0f);
    QCOMPARE(w.view.lastScaleX, 0.0f);
}

void StartupTest::measurementLogHeaderIsExact() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.logBox->text(), QStringLiteral("Velkor\r\nVersion: 1.0\r\n"));
    w.logBox->appendText(QStringLiteral("2026-12-6   05:02:58\r\nline"));
    QCOMPARE(w.logBox->text(),
             QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:02:58\r\nline"));
}

void StartupTest::iconIsOptional() {
    WindowOnFakes without;
    QVERIFY(without.build().windowIcon().isNull());
    QVERIFY(without.dialogs.shown.isEmpty());

    WindowOnFakes with;
    const QString source = QStringLiteral(VELKOR_ICON_FILE);
    QVERIFY2(QFile::copy(source, with.programDir() + QStringLiteral("/vk-7100-2.ico")),
             qPrintable(source));
    const QIcon icon = with.build().windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.pixmap(32, 32).size(), QSize(32, 32));
}

void StartupTest::shutDownClosesAnOpenPortOnly() {
    WindowOnFakes never;
    never.build().close();
    QCOMPARE(never.port.closeCount, 0);
    QVERIFY(never.port.openAttempts.isEmpty());

    WindowOnFakes open;
    open.port.usablePorts = {3};
    MainWindow& w = open.build();
    QVERIFY(open.port.open(3));
    w.close();
    QVERIFY(!open.port.isOpen());
    QCOMPARE(open.port.closeCount, 1);
    QVERIFY(open.port.written.isEmpty());
}

void StartupTest::closeStopsAsAnySwitchOffFirst_data() {
    QTest::addColumn<bool>("run");
    QTest::addColumn<bool>("recordWritable");
    QTest::newRow("output on") << false << true;
    QTest::newRow("run going") << true << true;
    QTest::newRow("record cannot be written") << false << false;
}

// The close writes the one record of a switch-off, and the supply gets a
// whole frame that switches its output off before the port closes. A record
// that cannot be written refuses the close and keeps the log on screen.
void StartupTest::closeStopsAsAnySwitchOffFirst() {
    QFETCH(bool, run);
    QFETCH(bool, recordWritable);
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{12, 2, 100}}));
    if (!recordWritable) {
        QFile notADirectory(recordDir(f));
        QVERIFY(notADirectory.open(QIODevice::WriteOnly));
    }
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1200A1200W";
    MainWindow& w = f.build();
    ticks(w, 20);
    QVERIFY(w.session().state.linkUp);
    if (run) {
        w.runButtonClicked();
        QVERIFY(w.session().running());
    } else {
        w.outputButtonClicked();
    }
    ticks(w, 30);
    for (int i = 0; i < 7; ++i) {
        w.session().sendTick();
    }
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('O')));
    f.port.written.clear();

    const bool closed = w.close();
    QVERIFY(!w.session().outputOn());
    QVERIFY(!w.session().running());
    QCOMPARE(w.logBox->text().count(QStringLiteral("12.00V          1.200A")), 3);
    // The save-path line names the file written, so only a saved log has one.
    QCOMPARE(w.logBox->text()
                 .split(QStringLiteral("\r\n"))
                 .last()
                 .startsWith(QStringLiteral("保存路径:")),
             recordWritable);
    if (!recordWritable) {
        QVERIFY(!closed);
        QCOMPARE(f.dialogs.shown.size(), 1);
        QVERIFY(f.dialogs.shown[0].text.contains(QStringLiteral("记录文件未能保存")));
        QVERIFY(f.port.isOpen());
        return;
    }
    QVERIFY(closed);
    QVERIFY(f.dialogs.shown.isEmpty());
    const QString record = recordDir(f) + QStringLiteral("/2026126539.TXT");
    QCOMPARE(recordEntries(f), QStringList{QFileInfo(record).fileName()});
    QCOMPARE(fileBytes(record), (w.logBox->text() + QStringLiteral("\r\n")).toLocal8Bit());
    QVERIFY(!f.port.isOpen());
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));
    QCOMPARE(f.port.written.right(16), w.session().state.frameText.toLatin1());
    QVERIFY(f.port.written.size() < 32);
}

// A close waits for its record on a slow disk: meanwhile neither the operator
// nor a script can switch the output on again, and the close ends with the
// supply off.
void StartupTest::aClosingSessionRefusesOnAndRun() {
    QTemporaryDir dir;
    QVERIFY(writeStepFile(dir.path(), {{5, 1, 3}}));
    FakeSerialPort port;
    port.usablePorts = {3};
    port.replyWhenIdle = "VKPPSU0500A0100W";
    FakeClock clock;
    RecordingDialogs dialogs;
    std::atomic<bool> diskHolds{true};
    // A failed check lets the disk go, so the worker can end.
    const auto letGo = qScopeGuard([&] { diskHolds = false; });
    RecordWorker records(RecordWorker::Mode::OwnThread, DiskCalls{[&](int) {
                                                                      while (diskHolds) {
                                                                          QThread::msleep(1);
                                                                      }
                                                                      return 0;
                                                                  },
                                                                  file_calls::lock,
                                                                  {},
                                                                  {},
                                                                  {},
                                                                  {},
                                                                  {}});
    SupplySession session(
        Platform{&port, &clock, nullptr, &dialogs, dir.path(), dir.path(), &records});
    session.open();
    const auto tick = [&](int count) {
        for (int i = 0; i < count; ++i) {
            session.pollTick();
            for (int send = 0; send < 20; ++send) {
                session.sendTick();
            }
        }
    };
    tick(10);
    QVERIFY(!session.switchOutput(true));
    tick(5);

    QCOMPARE(session.requestClose(), SupplySession::CloseAnswer::Waits);
    const qsizetype closeAt = port.written.size();
    QCOMPARE(session.outputState(), OutputState::Closing);
    for (const Refused& refusal : {session.switchOutput(true), session.switchRun(true)}) {
        QVERIFY(refusal && refusal->text.contains(QStringLiteral("The program is closing")));
    }
    tick(3);
    QVERIFY(port.written.right(32).contains("VKPPSU0000H0000N"));

    QSignalSpy waitOver(&session, &SupplySession::closeWaitOver);
    diskHolds = false;
    QVERIFY(waitOver.wait(15000));
    const qsizetype offFrom = port.written.indexOf("VKPPSU0000H0000N", closeAt);
    QCOMPARE(session.requestClose(), SupplySession::CloseAnswer::Closed);
    QVERIFY(!port.isOpen());
    QVERIFY(offFrom > 0 && !port.written.mid(offFrom).contains('O'));
    QCOMPARE(recordEntries(dir.path()).size(), 1);
}

void StartupTest::clearButtonClearsTheDiagnosticPane() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.diagnosticPane->printLine(QStringLiteral("COM3无应答"));
    w.diagnosticPane->printLine(QStringLiteral("数据为空"));
    QCOMPARE(w.diagnosticPane->lines().size(), 2);
    w.clearDiagnostics();
    QVERIFY(w.diagnosticPane->lines().isEmpty());
}

void StartupTest::diagnosticPaneKeepsOnlyRecentLines() {
    DiagnosticPane pane;
    for (int i = 0; i < DiagnosticPane::kMaxLines + 500; ++i) {
        pane.printLine(QString::number(i));
    }
    const QStringList lines = pane.lines();
    QCOMPARE(lines.size(), DiagnosticPane::kMaxLines);
    QCOMPARE(lines.first(), QString::number(500));
    QCOMPARE(lines.last(), QString::number(DiagnosticPane::kMaxLines + 499));
    pane.printLine(QString(100000, QLatin1Char('x')));
    QCOMPARE(pane.lines().last().size(), DiagnosticPane::kMaxLineLength);
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
