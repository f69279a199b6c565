#include "fakes.h"
#include "step_table_file.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

using Rows = QVector<QVariantList>;

void chooseLanguage(MainWindow& w, int index) {
    w.languageList->setCurrentIndex(index);
    emit w.languageList->activated(index);
}

// The switchable texts in the order the display update sets them; the link
// panel's without the port it names after the design's text.
QStringList switchableTexts(const MainWindow& w) {
    const SupplySession& session = w.session();
    const QString port = QLatin1Char(' ') + session.portInUseText(session.state.englishUi);
    return {w.readoutGroup->title(),
            w.settingsGroup->title(),
            w.overCurrentModeCaption->text(),
            w.statusPanels[0]->text().remove(port),
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
    void boxesCarryEnglishInTheEnglishWindow_data();
    void boxesCarryEnglishInTheEnglishWindow();
    void diagnosticLinesStayChinese();
    void gridHeadingsFollowTheLanguage();
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
    QVERIFY2(lines.last().startsWith(saveLabel + QDir::toNativeSeparators(f.programDir())),
             qPrintable(lines.last()));

    // A line already written keeps its language.
    chooseLanguage(w, english ? 0 : 1);
    ticks(w, 10);
    QCOMPARE(w.logBox->text().split(QStringLiteral("\r\n")).last(), lines.last());
}

enum class BoxCause { VoltageEntry, CurrentEntry, RunCheck, FailedRead };

// Each box in both windows: the design's Chinese alone in the Chinese one,
// and first, with the English after it, in the English one.
void LanguageTest::boxesCarryEnglishInTheEnglishWindow_data() {
    QTest::addColumn<BoxCause>("cause");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Rows>("steps");
    QTest::addColumn<QString>("chineseText");
    QTest::addColumn<QString>("chineseTitle");
    QTest::addColumn<QString>("englishText");
    QTest::addColumn<QString>("englishTitle");
    const QString voltagePrompt = QStringLiteral("请输入4位不大于31的正数");
    const QString voltageEnglish =
        voltagePrompt + QStringLiteral("\nEnter a positive number of up to 4 "
                                       "digits, not above 31, such as 12.5V.");
    const QString currentPrompt = QStringLiteral("请输入4位不大于5.1的正数");
    const QString currentEnglish =
        currentPrompt + QStringLiteral("\nEnter a positive number of up to 4 "
                                       "digits, not above 5.1, such as 0.75A.");
    for (const char* typed : {"40V", "99"}) {
        QTest::addRow("voltage %s", typed)
            << BoxCause::VoltageEntry << typed << Rows{} << voltagePrompt << "电压数据错误"
            << voltageEnglish << "电压数据错误 / Voltage out of range";
    }
    for (const char* typed : {"12,5V", "abc", "1.2.3V"}) {
        QTest::addRow("voltage %s", typed)
            << BoxCause::VoltageEntry << typed << Rows{} << voltagePrompt << "设置电压数据错误"
            << voltageEnglish << "设置电压数据错误 / Voltage entry refused";
    }
    QTest::newRow("current 9A") << BoxCause::CurrentEntry << "9A" << Rows{} << currentPrompt
                                << "电流数据错误" << currentEnglish
                                << "电流数据错误 / Current out of range";
    QTest::newRow("current 1.5V") << BoxCause::CurrentEntry << "1.5V" << Rows{} << currentPrompt
                                  << "设置电流数据错误" << currentEnglish
                                  << "设置电流数据错误 / Current entry refused";
    QTest::newRow("run check, voltage")
        << BoxCause::RunCheck << QString() << Rows{{5, 1, 3}, {5, 1, 3}, {5, 1, 3}, {40, 1, 3}}
        << "第4行第1列数据错误；" + voltagePrompt << "电压数据错误"
        << "第4行第1列数据错误；" + voltagePrompt +
               "\nRow 4, column 1: the voltage must be a number from 0 to 31."
        << "电压数据错误 / Voltage out of range";
    QTest::newRow("run check, current")
        << BoxCause::RunCheck << QString() << Rows{{5, 1, 3}, {5, 6, 3}}
        << "第2行第2列数据错误；" + currentPrompt << "电流数据错误"
        << "第2行第2列数据错误；" + currentPrompt +
               "\nRow 2, column 2: the current must be a number from 0 to 5.1."
        << "电流数据错误 / Current out of range";
    QTest::newRow("run check, hold time")
        << BoxCause::RunCheck << QString() << Rows{{5, 1, 40000}}
        << "第1行第3列数据错误；时间（S）请输入不大于32767的秒数\nRow 1, column 3: the hold time "
           "must be a number of seconds not above 32767."
        << "时间数据错误"
        << "第1行第3列数据错误；时间（S）请输入不大于32767的秒数\nRow 1, column 3: the hold time "
           "must be a number of seconds not above 32767."
        << "时间数据错误 / Hold time out of range";
    // A line that hangs up fails the next read.
    QTest::newRow("failed read") << BoxCause::FailedRead << QString() << Rows{} << "读串口数据错误"
                                 << QString()
                                 << "读串口数据错误\nThe serial port could not be read."
                                 << QString();
}

void LanguageTest::boxesCarryEnglishInTheEnglishWindow() {
    QFETCH(BoxCause, cause);
    QFETCH(QString, typed);
    QFETCH(Rows, steps);
    for (const bool english : {false, true}) {
        WindowOnFakes f;
        QVERIFY(steps.isEmpty() || writeStepFile(f.programDir(), steps));
        f.port.usablePorts = {3};
        MainWindow& w = f.build();
        chooseLanguage(w, english ? 1 : 0);
        switch (cause) {
        case BoxCause::VoltageEntry:
            w.voltageEntry->setText(typed);
            ticks(w, 31);
            break;
        case BoxCause::CurrentEntry:
            w.currentEntry->setText(typed);
            ticks(w, 31);
            break;
        case BoxCause::RunCheck:
            w.session().state.linkUp = true;
            w.runButtonClicked();
            break;
        case BoxCause::FailedRead:
            w.session().pollTick();
            f.port.queueFailedRead();
            ticks(w, 10);
            break;
        }
        QCOMPARE(f.dialogs.shown.size(), 1);
        if (english) {
            QFETCH(QString, englishText);
            QFETCH(QString, englishTitle);
            QCOMPARE(f.dialogs.shown[0].text, englishText);
            QCOMPARE(f.dialogs.shown[0].title, englishTitle);
        } else {
            QFETCH(QString, chineseText);
            QFETCH(QString, chineseTitle);
            QCOMPARE(f.dialogs.shown[0].text, chineseText);
            QCOMPARE(f.dialogs.shown[0].title, chineseTitle);
        }
    }
}

void LanguageTest::diagnosticLinesStayChinese() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    chooseLanguage(w, 1);
    ticks(w, 10);
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM：   3已打开")));
}

// The grid shows English headings over the table's own column names, which
// stay as they are.
void LanguageTest::gridHeadingsFollowTheLanguage() {
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{5, 1, 3}}));
    MainWindow& w = f.build();
    const auto headings = [&w] {
        QStringList texts;
        for (int column = 1; column <= 3; ++column) {
            texts << w.stepGrid->table()->model()->headerData(column, Qt::Horizontal).toString();
        }
        return texts;
    };
    const QStringList chinese{"电压（V）", "电流（A）", "时间（S）"};
    ticks(w, 10);
    QCOMPARE(headings(), chinese);
    chooseLanguage(w, 1);
    ticks(w, 10);
    QCOMPARE(headings(), (QStringList{"Volts (V)", "Amps (A)", "Time (s)"}));
    // Read by the column names the table has always had.
    QCOMPARE(readStepFile(f.programDir()), (Rows{{5.0, 1.0, 3.0}}));
    chooseLanguage(w, 0);
    ticks(w, 10);
    QCOMPARE(headings(), chinese);
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
