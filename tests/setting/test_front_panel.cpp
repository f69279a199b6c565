#include "fakes.h"
#include "window/log_box.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

namespace {

void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

QColor buttonFace(const QPushButton* button) {
    return button->palette().color(QPalette::Button);
}

} // namespace

class FrontPanelTest : public QObject {
    Q_OBJECT
private slots:
    void voltageStepIsTakenAtOnce_data();
    void voltageStepIsTakenAtOnce();
    void voltageSliderIsTakenAtOnce_data();
    void voltageSliderIsTakenAtOnce();
    void invalidListTextBecomesZeroWithoutMessage();
    void listVoltageAboveTheLimitIsRefusedWithAMessage();
    void currentStepAndSliderOnlySetTheText();
    void slidersActWhenLetGoAndShowTheSetpointInForce();
    void sliderLetGoWhereTakenLeavesTheEntry();
    void stepListsOpenAtTheSetpointInForce_data();
    void stepListsOpenAtTheSetpointInForce();
    void switchingOnTakesWhatTheEntriesShow_data();
    void switchingOnTakesWhatTheEntriesShow();
    void outputButtonWithoutLinkSaysWhyInTheStatusBar();
    void outputButtonSwitchesOnAndOff_data();
    void outputButtonSwitchesOnAndOff();
    void overCurrentModeFollowsTheEntryPosition();
    void greenButtonShowsInEveryStyle();
};

void FrontPanelTest::voltageStepIsTakenAtOnce_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("setpoint");
    QTest::newRow("31V") << 31 << "31V" << 3100;
    QTest::newRow("12V") << 12 << "12V" << 1200;
    QTest::newRow("0V") << 0 << "0V" << 0;
}

void FrontPanelTest::voltageStepIsTakenAtOnce() {
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, setpoint);
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.session().state.voltageSetpointCentivolts = 777;
    choose(w.voltageStepList, index);
    QCOMPARE(w.voltageEntry->text(), text);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(setpoint));
    QCOMPARE(w.session().state.lastVoltageText, text);
    QCOMPARE(w.session().state.voltageEditIdle, qint16(0));
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText.mid(6, 4),
             QStringLiteral("%1").arg(setpoint, 4, 10, QChar('0')));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::voltageSliderIsTakenAtOnce_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("setpoint");
    QTest::newRow("maximum") << 3100 << "31V" << 3100;
    QTest::newRow("4 snaps to 0") << 4 << "0V" << 0;
    QTest::newRow("1234 snaps down") << 1234 << "12.3V" << 1230;
    QTest::newRow("1646 snaps up") << 1646 << "16.5V" << 1650;
    QTest::newRow("1250") << 1250 << "12.5V" << 1250;
    QTest::newRow("5 snaps up") << 5 << "0.1V" << 10;
    QTest::newRow("3099 snaps to the maximum") << 3099 << "31V" << 3100;
}

void FrontPanelTest::voltageSliderIsTakenAtOnce() {
    QFETCH(int, position);
    QFETCH(QString, text);
    QFETCH(int, setpoint);
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.voltageSlider->setValue(position);
    QCOMPARE(w.voltageEntry->text(), text);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(setpoint));
    QCOMPARE(w.voltageSlider->value(), setpoint);
    QCOMPARE(w.session().state.lastVoltageText, text);

    // Back to 0 is a change too.
    w.voltageSlider->setValue(0);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("0V"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(0));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::invalidListTextBecomesZeroWithoutMessage() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    choose(w.voltageStepList, 12);
    w.voltageStepList->addItem(QStringLiteral("1.2.3"));
    choose(w.voltageStepList, w.voltageStepList->count() - 1);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("00.00V"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(1200));
    QCOMPARE(w.session().state.lastVoltageText, QStringLiteral("12V"));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::listVoltageAboveTheLimitIsRefusedWithAMessage() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    choose(w.voltageStepList, 12);
    w.voltageStepList->addItem(QStringLiteral("32"));
    choose(w.voltageStepList, w.voltageStepList->count() - 1);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].text, QStringLiteral("请输入4位不大于31的正数"));
    QCOMPARE(f.dialogs.shown[0].title, QStringLiteral("电压数据错误"));
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12V"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(1200));
}

void FrontPanelTest::currentStepAndSliderOnlySetTheText() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    ticks(w, 31);
    QCOMPARE(w.session().state.lastCurrentText, QStringLiteral("0A"));

    choose(w.currentStepList, 1);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.1A"));
    ticks(w, 30);
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(0));
    w.session().pollTick();
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(100));

    w.currentSlider->setValue(1500);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("1.5A"));
    w.currentSlider->setValue(1234);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("1.23A"));
    ticks(w, 30);
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(100));
    w.session().pollTick();
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(1230));

    w.currentSlider->setValue(5100);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("5.1A"));
    ticks(w, 31);
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(5100));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::slidersActWhenLetGoAndShowTheSetpointInForce() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QSignalSpy voltageMoves(w.voltageSlider, &QSlider::valueChanged);

    // A drag from 0 to 31 V: the entry shows where the thumb is, snapped,
    // nothing is taken on the way, and the poll ticks in between leave the
    // held thumb where it is.
    w.voltageSlider->setSliderDown(true);
    for (int position = 97; position <= 3100; position += 97) {
        w.voltageSlider->setSliderPosition(position);
        QCOMPARE(w.voltageEntry->text(),
                 QString::number(qRound(position / 10.0) / 10.0) + QLatin1Char('V'));
        w.session().pollTick();
        QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(0));
        QCOMPARE(w.session().state.frameText.mid(6, 4), QStringLiteral("0000"));
    }
    w.voltageSlider->setSliderPosition(3100);
    ticks(w, 31);
    QCOMPARE(w.voltageSlider->sliderPosition(), 3100);
    w.voltageSlider->setSliderDown(false);
    QCOMPARE(voltageMoves.size(), 1);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(3100));
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("31V"));

    // Any setpoint taken shows on its slider without a move of its own.
    voltageMoves.clear();
    w.voltageEntry->setText(QStringLiteral("5"));
    ticks(w, 31);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(500));
    QCOMPARE(w.voltageSlider->value(), 500);
    choose(w.currentStepList, 15);
    ticks(w, 31);
    QCOMPARE(w.currentSlider->value(), 1500);
    QCOMPARE(voltageMoves.size(), 0);

    // A key steps from the setpoint in force by the slider's step, at once.
    w.voltageSlider->setFocus();
    QTest::keyClick(w.voltageSlider, Qt::Key_Up);
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(510));
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("5.1V"));
    QTest::keyClick(w.currentSlider, Qt::Key_Down);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("1.49A"));
    QVERIFY(f.dialogs.shown.isEmpty());
}

// A thumb let go where it was taken changes nothing: the entry shows what it
// showed before the drag, and that text still rests to be taken.
void FrontPanelTest::sliderLetGoWhereTakenLeavesTheEntry() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.voltageEntry->setText(QStringLiteral("12.34"));
    ticks(w, 31);
    QCOMPARE(w.voltageSlider->value(), 1234);
    w.currentEntry->setText(QStringLiteral("0.7"));

    w.currentSlider->setSliderDown(true);
    w.currentSlider->setSliderPosition(2000);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("2A"));
    w.currentSlider->setSliderPosition(0);
    w.currentSlider->setSliderDown(false);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.7"));

    w.voltageSlider->setSliderDown(true);
    w.voltageSlider->setSliderPosition(2000);
    w.voltageSlider->setSliderPosition(1234);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.3V"));
    w.voltageSlider->setSliderDown(false);
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.34V"));
    QCOMPARE(w.session().state.voltageSetpointCentivolts, qint16(1234));

    ticks(w, 31);
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(700));
}

// The lists open at the setpoint in force when it is one of their steps, and
// stay where they were when it is none.
void FrontPanelTest::stepListsOpenAtTheSetpointInForce_data() {
    QTest::addColumn<bool>("voltage");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("current");
    QTest::newRow("12 V") << true << "12"
                          << "12V";
    QTest::newRow("12.00 V") << true << "12.00"
                             << "12V";
    QTest::newRow("31 V") << true << "31"
                          << "31V";
    QTest::newRow("12.5 V, no step") << true << "12.5"
                                     << "7V";
    QTest::newRow("0.3 A") << false << "0.3"
                           << "0.3A";
    QTest::newRow("5.1 A") << false << "5.100"
                           << "5.1A";
    QTest::newRow("0.35 A, no step") << false << "0.35"
                                     << "0.7A";
}

void FrontPanelTest::stepListsOpenAtTheSetpointInForce() {
    QFETCH(bool, voltage);
    QFETCH(QString, typed);
    QFETCH(QString, current);
    WindowOnFakes f;
    MainWindow& w = f.build();
    QComboBox* list = voltage ? w.voltageStepList : w.currentStepList;
    QLineEdit* entry = voltage ? w.voltageEntry : w.currentEntry;
    QSignalSpy chosen(list, &QComboBox::activated);
    entry->setText(voltage ? QStringLiteral("7") : QStringLiteral("0.7"));
    ticks(w, 31);
    entry->setText(typed);
    ticks(w, 31);
    QCOMPARE(list->currentText(), current);
    QCOMPARE(chosen.size(), 0);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::switchingOnTakesWhatTheEntriesShow_data() {
    QTest::addColumn<QString>("voltage");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("title");
    QTest::newRow("typed a moment ago") << "2"
                                        << "0.5"
                                        << "VKPPSU0200H0500O" << QString();
    QTest::newRow("voltage above 31 V") << "40"
                                        << "0.5"
                                        << "VKPPSU0500H1000N"
                                        << "电压数据错误";
    QTest::newRow("voltage not a number") << "1.2.3"
                                          << "0.5"
                                          << "VKPPSU0500H1000N"
                                          << "设置电压数据错误";
    QTest::newRow("current above 5.1 A") << "2"
                                         << "6"
                                         << "VKPPSU0200H1000N"
                                         << "电流数据错误";
}

void FrontPanelTest::switchingOnTakesWhatTheEntriesShow() {
    QFETCH(QString, voltage);
    QFETCH(QString, current);
    QFETCH(QString, frame);
    QFETCH(QString, title);
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    w.voltageEntry->setText(QStringLiteral("5V"));
    w.currentEntry->setText(QStringLiteral("1A"));
    ticks(w, 31);
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0500H1000N"));

    // Typed, and switched on before the entries have rested.
    w.voltageEntry->setText(voltage);
    w.currentEntry->setText(current);
    w.outputButtonClicked();
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText, frame);
    QCOMPARE(w.session().outputOn(), title.isEmpty());
    QCOMPARE(f.dialogs.shown.size(), title.isEmpty() ? 0 : 1);
    if (!title.isEmpty()) {
        QCOMPARE(f.dialogs.shown.first().title, title);
        QCOMPARE(recordEntries(f).size(), 0);
    }
}

void FrontPanelTest::outputButtonWithoutLinkSaysWhyInTheStatusBar() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QString log = w.logBox->text();
    const QColor face = buttonFace(w.outputButton);
    w.view.chartIndex = 7;
    w.outputButton->click();
    QVERIFY(!w.session().outputOn());
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    QCOMPARE(buttonFace(w.outputButton), face);
    QCOMPARE(w.logBox->text(), log);
    QCOMPARE(w.view.chartIndex, qint16(7));
    QCOMPARE(w.statusBar->currentMessage(),
             QStringLiteral("电源没有应答，输出未打开。  The supply does not answer; the output "
                            "stays off.  没有可用的串口。  No serial port has a device."));
    w.session().pollTick();
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));
    QVERIFY(f.dialogs.shown.isEmpty());
    QCOMPARE(recordEntries(f).size(), 0);
}

void FrontPanelTest::outputButtonSwitchesOnAndOff_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("onCaption");
    QTest::addColumn<QString>("offCaption");
    QTest::newRow("Chinese") << false << "关"
                             << "开";
    QTest::newRow("English") << true << "OFF"
                             << "ON";
}

void FrontPanelTest::outputButtonSwitchesOnAndOff() {
    QFETCH(bool, english);
    QFETCH(QString, onCaption);
    QFETCH(QString, offCaption);
    WindowOnFakes f;
    f.clock.time = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 6));
    MainWindow& w = f.build();
    choose(w.languageList, english ? 1 : 0);
    const QColor face = buttonFace(w.outputButton);
    w.session().state.linkUp = true;
    w.view.chartIndex = 42;

    w.outputButton->click();
    QVERIFY(w.session().outputOn());
    QCOMPARE(w.view.chartIndex, qint16(0));
    QCOMPARE(w.outputButton->text(), onCaption);
    QCOMPARE(buttonFace(w.outputButton), QColor(0, 255, 0));
    const QString header = w.logBox->text();
    QCOMPARE(header, QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-3-7   14:05:06"));
    QCOMPARE(recordEntries(f).size(), 0);
    w.session().pollTick();
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('O')));

    w.outputButton->click();
    QVERIFY(!w.session().outputOn());
    QCOMPARE(w.outputButton->text(), offCaption);
    QCOMPARE(buttonFace(w.outputButton), face);
    QCOMPARE(recordEntries(f).size(), 1);
    w.session().pollTick();
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));

    // A second period begins with a fresh log: nothing of the first is left.
    w.outputButton->click();
    QCOMPARE(w.logBox->text(), header);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void FrontPanelTest::overCurrentModeFollowsTheEntryPosition() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QVERIFY(!w.session().state.tripMode);
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText.mid(10, 1), QStringLiteral("H"));

    choose(w.overCurrentModeList, 1);
    QVERIFY(w.session().state.tripMode);
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText.mid(10, 1), QStringLiteral("C"));
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('O')));

    // In English the same positions mean the same modes.
    choose(w.languageList, 1);
    ticks(w, 10);
    QCOMPARE(w.overCurrentModeList->itemText(1), QStringLiteral("trip out"));
    choose(w.overCurrentModeList, 0);
    QVERIFY(!w.session().state.tripMode);
    choose(w.overCurrentModeList, 1);
    QVERIFY(w.session().state.tripMode);
}

void FrontPanelTest::greenButtonShowsInEveryStyle() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    const auto greenShare = [&](QStyle* style) {
        w.outputButton->setStyle(style);
        const QImage face = w.outputButton->grab().toImage();
        int green = 0;
        for (int y = 0; y < face.height(); ++y) {
            for (int x = 0; x < face.width(); ++x) {
                const QColor c = face.pixelColor(x, y);
                green += c.green() > 200 && c.red() < 100 && c.blue() < 100;
            }
        }
        return double(green) / (face.width() * face.height());
    };
    QVERIFY(!QStyleFactory::keys().isEmpty());
    for (const QString& key : QStyleFactory::keys()) {
        // Owned by the button, which keeps using it.
        QStyle* style = QStyleFactory::create(key);
        style->setParent(w.outputButton);
        w.outputButtonClicked();
        QVERIFY(w.session().outputOn());
        const double on = greenShare(style);
        w.outputButtonClicked();
        const double off = greenShare(style);
        qInfo("%s: %.2f of the face green when on, %.2f when off", qPrintable(key), on, off);
        QVERIFY2(on > 0.5 && off < 0.05, qPrintable(key));
    }
}

VELKOR_TEST_MAIN_IN_C_LOCALE(FrontPanelTest)

#include "test_front_panel.moc"
