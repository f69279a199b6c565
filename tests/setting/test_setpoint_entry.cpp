#include "fakes.h"
#include "step_table_file.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QtTest>

namespace {

const QString kVoltagePrompt = QStringLiteral("请输入4位不大于31的正数");
const QString kCurrentPrompt = QStringLiteral("请输入4位不大于5.1的正数");

QString frameVoltage(const MainWindow& w) {
    return w.session().state.frameText.mid(6, 4);
}

QString frameCurrent(const MainWindow& w) {
    return w.session().state.frameText.mid(11, 4);
}

// A window whose entries have been taken as 5 V and 0.5 A.
MainWindow& buildAtFiveVoltsHalfAnAmpere(WindowOnFakes& f) {
    MainWindow& w = f.build();
    w.voltageEntry->setText(QStringLiteral("5V"));
    w.currentEntry->setText(QStringLiteral("0.5A"));
    ticks(w, 31);
    return w;
}

// The same window with a one-row run of 10 V and 1 A started over it.
MainWindow& startTenVoltRunAtFiveVolts(WindowOnFakes& f) {
    writeStepFile(f.programDir(), {{10, 1, 100}});
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    w.session().state.linkUp = true;
    w.runButtonClicked();
    return w;
}

} // namespace

class SetpointEntryTest : public QObject {
    Q_OBJECT
private slots:
    void typedEntryIsTakenAfterThirtyQuietTicks_data();
    void typedEntryIsTakenAfterThirtyQuietTicks();
    void enteredTextIsTakenAtOnceWithTheSameChecks_data();
    void enteredTextIsTakenAtOnceWithTheSameChecks();
    void enteredVoltageIsInTheNextWholeFrame_data();
    void enteredVoltageIsInTheNextWholeFrame();
    void everyKeystrokeRestartsTheWait();
    void rejectedEntryIsReportedOnceAndTheRestoredTextTakenAgain();
    void takenTextIsAppliedInEveryLaterTick();
    void emptyCurrentTextIsPutBackBeforeAnyWasAccepted();
    void rowValuesAreScaledRoundedAndRangeCheckedInEveryTick_data();
    void rowValuesAreScaledRoundedAndRangeCheckedInEveryTick();
    void manualEntriesWaitWhileARunIsActive();
};

void SetpointEntryTest::typedEntryIsTakenAfterThirtyQuietTicks_data() {
    QTest::addColumn<bool>("voltage");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("setpoint");
    QTest::addColumn<QString>("title");

    QTest::newRow("12V") << true << "12V"
                         << "12V" << 1200 << "";
    QTest::newRow("12.34V") << true << "12.34V"
                            << "12.34V" << 1234 << "";
    QTest::newRow(".5V") << true << ".5V"
                         << ".5V" << 50 << "";
    QTest::newRow("V alone") << true << "V"
                             << "V" << 0 << "";
    QTest::newRow("31.00V") << true << "31.00V"
                            << "31.00V" << 3100 << "";
    QTest::newRow("unit appended") << true << "12"
                                   << "12V" << 1200 << "";
    QTest::newRow("emptied box") << true << ""
                                 << "V" << 0 << "";
    QTest::newRow("0.005V") << true << "0.005V"
                            << "0.005V" << 0 << "";
    QTest::newRow("0.015V") << true << "0.015V"
                            << "0.015V" << 2 << "";
    QTest::newRow("0.025V") << true << "0.025V"
                            << "0.025V" << 2 << "";
    QTest::newRow("31.01V") << true << "31.01V"
                            << "5V" << 500 << "电压数据错误";
    QTest::newRow("99.99V") << true << "99.99V"
                            << "5V" << 500 << "电压数据错误";
    QTest::newRow("12.345V") << true << "12.345V"
                             << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("1.2.3V") << true << "1.2.3V"
                            << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("12V3") << true << "12V3"
                          << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("-1V") << true << "-1V"
                         << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("12 V") << true << "12 V"
                          << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("12vV") << true << "12vV"
                          << "5V" << 500 << "设置电压数据错误";
    QTest::newRow("12v gets a V and is refused") << true << "12v"
                                                 << "5V" << 500 << "设置电压数据错误";

    QTest::newRow("5.100A") << false << "5.100A"
                            << "5.100A" << 5100 << "";
    QTest::newRow("0.75A") << false << "0.75A"
                           << "0.75A" << 750 << "";
    QTest::newRow(".0015A") << false << ".0015A"
                            << ".0015A" << 2 << "";
    QTest::newRow(".0025A") << false << ".0025A"
                            << ".0025A" << 2 << "";
    QTest::newRow("unit A appended") << false << "1.5"
                                     << "1.5A" << 1500 << "";
    QTest::newRow("5.101A") << false << "5.101A"
                            << "0.5A" << 500 << "电流数据错误";
    QTest::newRow("6A") << false << "6A"
                        << "0.5A" << 500 << "电流数据错误";
    QTest::newRow("1.5V") << false << "1.5V"
                          << "0.5A" << 500 << "设置电流数据错误";
    QTest::newRow("1.5a") << false << "1.5a"
                          << "0.5A" << 500 << "设置电流数据错误";
    QTest::newRow("0.0001A") << false << "0.0001A"
                             << "0.5A" << 500 << "设置电流数据错误";
}

void SetpointEntryTest::typedEntryIsTakenAfterThirtyQuietTicks() {
    QFETCH(bool, voltage);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, setpoint);
    QFETCH(QString, title);

    WindowOnFakes f;
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(500));
    QVERIFY(f.dialogs.shown.isEmpty());

    QLineEdit* box = voltage ? w.voltageEntry : w.currentEntry;
    int& taken = voltage ? w.session().state.voltageSetpointCentivolts
                         : w.session().state.currentSetpointMilliamps;
    const int& other = voltage ? w.session().state.currentSetpointMilliamps
                               : w.session().state.voltageSetpointCentivolts;
    const QString& lastText =
        voltage ? w.session().state.lastVoltageText : w.session().state.lastCurrentText;
    const auto carried = [&] { return voltage ? frameVoltage(w) : frameCurrent(w); };

    box->setText(typed);
    ticks(w, 30);
    QCOMPARE(box->text(), typed);
    QCOMPARE(taken, qint16(500));
    QCOMPARE(carried(), QStringLiteral("0500"));
    QVERIFY(f.dialogs.shown.isEmpty());

    w.session().pollTick();
    QCOMPARE(box->text(), shown);
    QCOMPARE(taken, qint16(setpoint));
    QCOMPARE(carried(), QStringLiteral("%1").arg(setpoint, 4, 10, QLatin1Char('0')));
    QCOMPARE(lastText, shown);
    QCOMPARE(other, qint16(500));
    if (title.isEmpty()) {
        QVERIFY(f.dialogs.shown.isEmpty());
    } else {
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(f.dialogs.shown[0].text, voltage ? kVoltagePrompt : kCurrentPrompt);
        QCOMPARE(f.dialogs.shown[0].title, title);
    }
}

// Enter, or leaving the box, takes the text at once with the rest's checks,
// so the rest's table is this one too.
void SetpointEntryTest::enteredTextIsTakenAtOnceWithTheSameChecks_data() {
    typedEntryIsTakenAfterThirtyQuietTicks_data();
}

void SetpointEntryTest::enteredTextIsTakenAtOnceWithTheSameChecks() {
    QFETCH(bool, voltage);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, setpoint);
    QFETCH(QString, title);

    WindowOnFakes f;
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    QLineEdit* box = voltage ? w.voltageEntry : w.currentEntry;
    const int& taken = voltage ? w.session().state.voltageSetpointCentivolts
                               : w.session().state.currentSetpointMilliamps;
    box->setText(typed);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->text(), shown);
    QCOMPARE(taken, qint16(setpoint));
    QCOMPARE(voltage ? w.session().state.lastVoltageText : w.session().state.lastCurrentText,
             shown);
    if (title.isEmpty()) {
        QVERIFY(f.dialogs.shown.isEmpty());
    } else {
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(f.dialogs.shown[0].text, voltage ? kVoltagePrompt : kCurrentPrompt);
        QCOMPARE(f.dialogs.shown[0].title, title);
    }
    // The rest that follows takes the same text again without a word.
    ticks(w, 31);
    QCOMPARE(taken, qint16(setpoint));
    QCOMPARE(f.dialogs.shown.size(), title.isEmpty() ? 0 : 1);
}

// The supply gets the typed value in the first whole frame begun after
// Enter or after the box is left, within two ticks of 20 characters each.
void SetpointEntryTest::enteredVoltageIsInTheNextWholeFrame_data() {
    QTest::addColumn<bool>("leaving");
    QTest::newRow("Enter") << false;
    QTest::newRow("box left") << true;
}

void SetpointEntryTest::enteredVoltageIsInTheNextWholeFrame() {
    QFETCH(bool, leaving);
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    const auto tickAndSend = [&w] {
        w.session().pollTick();
        for (int send = 0; send < 20; ++send) {
            w.session().sendTick();
        }
    };
    for (int tick = 0; tick < 10; ++tick) {
        tickAndSend();
    }
    QVERIFY(f.port.written.contains("VKPPSU0500H0500N"));

    // Half-way through a frame, as the operator's key may come at any time.
    for (int send = 0; send < 7; ++send) {
        w.session().sendTick();
    }
    f.port.written.clear();
    w.voltageEntry->setText(QStringLiteral("12.34"));
    if (leaving) {
        QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(w.voltageEntry, &focusOut);
    } else {
        QTest::keyClick(w.voltageEntry, Qt::Key_Enter);
    }
    tickAndSend();
    tickAndSend();
    const qsizetype firstWhole = f.port.written.indexOf("VKPPSU");
    QVERIFY(firstWhole >= 0);
    QCOMPARE(f.port.written.mid(firstWhole, 16), QByteArray("VKPPSU1234H0500N"));
}

void SetpointEntryTest::everyKeystrokeRestartsTheWait() {
    WindowOnFakes f;
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    w.voltageEntry->selectAll();
    for (const char key : QByteArray("12.5")) {
        QTest::keyClick(w.voltageEntry, key);
        ticks(w, 25);
        QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    }
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.5"));
    ticks(w, 5);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.5"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    w.session().pollTick();
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.5V"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(1250));
    QVERIFY(f.dialogs.shown.isEmpty());
}

// Putting the text back is a change of the box: the restored text is looked
// at again 31 ticks later and taken without a second message.
void SetpointEntryTest::rejectedEntryIsReportedOnceAndTheRestoredTextTakenAgain() {
    WindowOnFakes f;
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    w.voltageEntry->setText(QStringLiteral("99V"));
    w.currentEntry->setText(QStringLiteral("9A"));
    ticks(w, 31);
    QCOMPARE(f.dialogs.shown.size(), 2);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("5V"));
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.5A"));
    QCOMPARE(w.session().state.voltageEditIdle, qint16(0));
    QCOMPARE(w.session().state.currentEditIdle, qint16(0));

    w.session().state.voltageSetpointCentivolts = 0;
    w.session().state.currentSetpointMilliamps = 0;
    ticks(w, 30);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(0));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(0));
    w.session().pollTick();
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(500));
    ticks(w, 100);
    QCOMPARE(f.dialogs.shown.size(), 2);
    QCOMPARE(w.session().state.voltageEditIdle, qint16(100));
}

void SetpointEntryTest::takenTextIsAppliedInEveryLaterTick() {
    WindowOnFakes f;
    MainWindow& w = buildAtFiveVoltsHalfAnAmpere(f);
    ticks(w, 80);
    w.session().state.voltageSetpointCentivolts = 1;
    w.session().state.currentSetpointMilliamps = 1;
    w.session().pollTick();
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(500));
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0500H0500N"));
}

void SetpointEntryTest::emptyCurrentTextIsPutBackBeforeAnyWasAccepted() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QVERIFY(w.session().state.lastCurrentText.isEmpty());
    w.currentEntry->setText(QStringLiteral("x"));
    ticks(w, 31);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].text, kCurrentPrompt);
    QCOMPARE(f.dialogs.shown[0].title, QStringLiteral("设置电流数据错误"));
    QCOMPARE(w.currentEntry->text(), QString());
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(0));

    ticks(w, 30);
    QCOMPARE(w.currentEntry->text(), QString());
    w.session().pollTick();
    QCOMPARE(w.currentEntry->text(), QStringLiteral("A"));
    QCOMPARE(w.session().state.lastCurrentText, QStringLiteral("A"));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(0));
    QCOMPARE(f.dialogs.shown.size(), 1);
}

void SetpointEntryTest::rowValuesAreScaledRoundedAndRangeCheckedInEveryTick_data() {
    QTest::addColumn<double>("volts");
    QTest::addColumn<double>("amperes");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("in range") << 12.34 << 1.5 << "VKPPSU1234H1500O" << QStringList();
    QTest::newRow("rounded up to the limits")
        << 30.996 << 5.0996 << "VKPPSU3100H5100O" << QStringList();
    QTest::newRow("halves to even") << 0.025 << 0.0025 << "VKPPSU0002H0002O" << QStringList();
    QTest::newRow("31.004 V rounds into range")
        << 31.004 << 5.1004 << "VKPPSU3100H5100O" << QStringList();
    QTest::newRow("voltage too high")
        << 31.006 << 1.0 << "VKPPSU0000H1000O" << QStringList{QStringLiteral("表格电压数据错误")};
    QTest::newRow("current too high")
        << 10.0 << 5.1006 << "VKPPSU1000H0000O" << QStringList{QStringLiteral("表格电流数据错误")};
    QTest::newRow("both below 0") << -0.01 << -0.001 << "VKPPSU0000H0000O"
                                  << QStringList{QStringLiteral("表格电压数据错误"),
                                                 QStringLiteral("表格电流数据错误")};
}

void SetpointEntryTest::rowValuesAreScaledRoundedAndRangeCheckedInEveryTick() {
    QFETCH(double, volts);
    QFETCH(double, amperes);
    QFETCH(QString, frame);
    QFETCH(QStringList, titles);

    WindowOnFakes f;
    MainWindow& w = startTenVoltRunAtFiveVolts(f);
    QVERIFY(w.session().running());
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU1000H1000O"));

    // The run start refuses such rows; here they are put in afterwards.
    w.session().state.sequenceTable[1][0] = volts;
    w.session().state.sequenceTable[2][0] = amperes;
    for (int tick = 1; tick <= 2; ++tick) {
        w.session().pollTick();
        QCOMPARE(w.session().state.frameText, frame);
        QCOMPARE(f.dialogs.shown.size(), titles.size() * tick);
        for (int i = 0; i < titles.size(); ++i) {
            const ShownMessage& shown = f.dialogs.shown[(tick - 1) * titles.size() + i];
            QCOMPARE(shown.title, titles[i]);
            QCOMPARE(shown.text, shown.title.contains(QStringLiteral("电压")) ? kVoltagePrompt
                                                                              : kCurrentPrompt);
        }
    }
    QCOMPARE(w.session().state.rowCentivolts, qint16(frame.mid(6, 4).toInt()));
    QCOMPARE(w.session().state.rowMilliamps, qint16(frame.mid(11, 4).toInt()));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(500));
}

void SetpointEntryTest::manualEntriesWaitWhileARunIsActive() {
    WindowOnFakes f;
    MainWindow& w = startTenVoltRunAtFiveVolts(f);
    QVERIFY(w.session().running());
    w.voltageEntry->setText(QStringLiteral("7V"));
    w.currentEntry->setText(QStringLiteral("bad"));
    ticks(w, 40);
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU1000H1000O"));
    // The entries show the step in force; what was typed waits for the end.
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("10V"));
    QCOMPARE(w.currentEntry->text(), QStringLiteral("1A"));
    QCOMPARE(w.session().state.currentEntryText, QStringLiteral("bad"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QVERIFY(f.dialogs.shown.isEmpty());

    w.runButtonClicked();
    QVERIFY(!w.session().running());
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0700H0500N"));
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].title, QStringLiteral("设置电流数据错误"));
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.5A"));
}

QTEST_MAIN(SetpointEntryTest)
#include "test_setpoint_entry.moc"
