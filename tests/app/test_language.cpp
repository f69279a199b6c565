#include "fakes.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

void chooseLanguage(MainWindow& w, int index) {
    w.languageList->setCurrentIndex(index);
    emit w.languageList->activated(index);
}

// The switchable texts in the order the display update sets them.
QStringList switchableTexts(const MainWindow& w) {
    return {w.readoutGroup->title(),
            w.settingsGroup->title(),
            w.overCurrentModeCaption->text(),
            w.statusPanels[0]->text(),
            w.statusPanels[2]->text(),
            w.overCurrentModeList->itemText(0),
            w.overCurrentModeList->itemText(1),
            w.runCountCaption->text(),
            w.outputButton->text(),
            w.runButton->text()};
}

QStringList fixedTexts(const MainWindow& w) {
    QStringList texts{w.windowTitle(),
                      w.statusPanels[1]->text(),
                      w.stepGrid->caption(),
                      w.voltageCaption->text(),
                      w.currentCaption->text(),
                      w.languageCaption->text(),
                      w.languageList->itemText(0),
                      w.languageList->itemText(1),
                      w.runCountList->itemText(0),
                      w.runCountList->itemText(100),
                      w.voltageStepList->itemText(31),
                      w.currentStepList->itemText(51)};
    return texts;
}

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void designTextsUntilTheFirstDisplayTick();
    void selectorSetsOnlyTheFlag();
    void everySwitchableTextIsSetAtEachDisplayTick_data();
    void everySwitchableTextIsSetAtEachDisplayTick();
    void fixedTextsDoNotSwitch();
    void stateChangeTextsFollowTheFlagAtThatMoment_data();
    void stateChangeTextsFollowTheFlagAtThatMoment();
    void messagesAndDiagnosticLinesStayChinese();
};

void LanguageTest::designTextsUntilTheFirstDisplayTick() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QVERIFY(!w.session().state.englishUi);
    QCOMPARE(w.languageList->currentText(), QStringLiteral("中文"));
    const QStringList design{"输出",        "设置",     "过流保护", "通讯状态:等待...",
                             "版本号：1.0", "恒流输出", "过流关断", "运行次数",
                             "开",          "开始"};
    QCOMPARE(switchableTexts(w), design);
    ticks(w, 9);
    QCOMPARE(switchableTexts(w), design);
    w.session().pollTick();
    QStringList again = design;
    again[3] = QStringLiteral("通讯状态:等待... ");
    QCOMPARE(switchableTexts(w), again);
}

void LanguageTest::selectorSetsOnlyTheFlag() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    chooseLanguage(w, 1);
    QVERIFY(w.session().state.englishUi);
    QCOMPARE(w.readoutGroup->title(), QStringLiteral("输出"));
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    ticks(w, 10);
    QCOMPARE(w.readoutGroup->title(), QStringLiteral("OUT"));
    QCOMPARE(w.outputButton->text(), QStringLiteral("ON"));

    chooseLanguage(w, 0);
    QVERIFY(!w.session().state.englishUi);
    QCOMPARE(w.readoutGroup->title(), QStringLiteral("OUT"));
    ticks(w, 10);
    QCOMPARE(w.readoutGroup->title(), QStringLiteral("输出"));
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
}

void LanguageTest::everySwitchableTextIsSetAtEachDisplayTick_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("Chinese, waiting")
        << false << false << QStringList{"输出",        "设置",     "过流保护", "通讯状态:等待... ",
                                         "版本号：1.0", "恒流输出", "过流关断", "运行次数",
                                         "开",          "开始"};
    QTest::newRow("Chinese, connected")
        << false << true << QStringList{"输出",        "设置",     "过流保护", "通讯状态:连接成功 ",
                                        "版本号：1.0", "恒流输出", "过流关断", "运行次数",
                                        "开",          "开始"};
    QTest::newRow("English, waiting")
        << true << false << QStringList{"OUT",          "SET",
                                        "over current", "communication:wait...",
                                        "Version: 1.0", "Steady Output",
                                        "trip out",     "Run Count",
                                        "ON",           "RUN"};
    QTest::newRow("English, connected")
        << true << true << QStringList{"OUT",          "SET",
                                       "over current", "communication:connection is successful ",
                                       "Version: 1.0", "Steady Output",
                                       "trip out",     "Run Count",
                                       "ON",           "RUN"};
}

void LanguageTest::everySwitchableTextIsSetAtEachDisplayTick() {
    QFETCH(bool, english);
    QFETCH(bool, linkUp);
    QFETCH(QStringList, texts);
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.overCurrentModeList->setCurrentIndex(1);
    emit w.overCurrentModeList->activated(1);
    chooseLanguage(w, english ? 1 : 0);
    w.session().state.linkUp = linkUp;
    ticks(w, 10);
    QCOMPARE(switchableTexts(w), texts);
    QCOMPARE(w.overCurrentModeList->count(), 2);
    QCOMPARE(w.overCurrentModeList->currentIndex(), 1);
    QVERIFY(w.session().state.tripMode);

    // Set again on every display tick, whatever happened in between.
    w.readoutGroup->setTitle(QString());
    w.statusPanels[0]->setText(QString());
    w.runCountCaption->setText(QString());
    ticks(w, 10);
    QCOMPARE(switchableTexts(w), texts);
}

void LanguageTest::fixedTextsDoNotSwitch() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QStringList chinese = fixedTexts(w);
    QCOMPARE(chinese, (QStringList{"Velkor", "Velkor", "Velkor", "U:", "I:", "中文/English", "中文",
                                   "English", "x", "100", "31V", "5.1A"}));
    const QString log = w.logBox->text();
    chooseLanguage(w, 1);
    ticks(w, 20);
    QCOMPARE(fixedTexts(w), chinese);
    QCOMPARE(w.logBox->text(), log);
    QCOMPARE(w.voltageReadout->text(), QStringLiteral("00.00V"));
    QCOMPARE(w.currentReadout->text(), QStringLiteral("0.000A"));

    // The log header is the same in both languages.
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    QVERIFY(w.logBox->text().startsWith(QStringLiteral("Velkor\r\nVersion: 1.0\r\n")));
}

void LanguageTest::stateChangeTextsFollowTheFlagAtThatMoment_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("off");
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("saveLabel");
    QTest::newRow("Chinese") << false << "关"
                             << "开"
                             << "开始"
                             << "保存路径:";
    QTest::newRow("English") << true << "OFF"
                             << "ON"
                             << "RUN"
                             << "Save Path:";
}

// Captions set at switch-on and at the stop take the language at once,
// without waiting for a display tick.
void LanguageTest::stateChangeTextsFollowTheFlagAtThatMoment() {
    QFETCH(bool, english);
    QFETCH(QString, on);
    QFETCH(QString, off);
    QFETCH(QString, run);
    QFETCH(QString, saveLabel);
    WindowOnFakes f;
    MainWindow& w = f.build();
    ticks(w, 10);
    chooseLanguage(w, english ? 1 : 0);
    w.session().state.linkUp = true;
    w.runButton->setText(QStringLiteral("?"));
    w.outputButtonClicked();
    QCOMPARE(w.outputButton->text(), on);
    w.outputButtonClicked();
    QCOMPARE(w.outputButton->text(), off);
    QCOMPARE(w.runButton->text(), run);
    const QStringList lines = w.logBox->text().split(QStringLiteral("\r\n"));
    QVERIFY2(lines.last().startsWith(saveLabel + f.programDir()), qPrintable(lines.last()));

    // A line already written keeps its language.
    chooseLanguage(w, english ? 0 : 1);
    ticks(w, 10);
    QCOMPARE(w.logBox->text().split(QStringLiteral("\r\n")).last(), lines.last());
}

void LanguageTest::messagesAndDiagnosticLinesStayChinese() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    chooseLanguage(w, 1);
    w.voltageEntry->setText(QStringLiteral("99V"));
    w.currentEntry->setText(QStringLiteral("1.5V"));
    ticks(w, 31);
    QCOMPARE(f.dialogs.shown.size(), 2);
    QCOMPARE(f.dialogs.shown[0].text, QStringLiteral("请输入4位不大于31的正数"));
    QCOMPARE(f.dialogs.shown[0].title, QStringLiteral("电压数据错误"));
    QCOMPARE(f.dialogs.shown[1].text, QStringLiteral("请输入4位不大于5.1的正数"));
    QCOMPARE(f.dialogs.shown[1].title, QStringLiteral("设置电流数据错误"));
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM：   3已打开")));
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
