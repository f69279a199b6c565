#include "fakes.h"
#include "record/log_text.h"
#include "step_table_file.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextDocument>
#include <QtTest>

namespace {

const QString kGap(10, QLatin1Char(' '));

// A window on port 3 whose first read and first display update both come in
// the tenth tick, and every tenth tick after.
MainWindow& buildOnPort(WindowOnFakes& f) {
    f.port.usablePorts = {3};
    return f.build();
}

// The next second: the clock moves on, the reply arrives, ten ticks run.
void secondWithReply(WindowOnFakes& f, const QByteArray& reply) {
    f.clock.time = f.clock.time.addSecs(1);
    f.port.queueRead(reply);
    ticks(*f.window, 10);
}

} // namespace

class DisplayUpdateTest : public QObject {
    Q_OBJECT
private slots:
    void readoutTexts_data();
    void readoutTexts();
    void logSecondLines_data();
    void logSecondLines();
    void timeOfDayHasHoursMinutesAndSecondsWithoutZone_data();
    void timeOfDayHasHoursMinutesAndSecondsWithoutZone();
    void noLocaleLeavesAZoneOrItsPunctuation();
    void firstUpdateComesInTheTenthTick();
    void readoutsShowTheReceivedDigits_data();
    void readoutsShowTheReceivedDigits();
    void outputOffFollowsRepliesWithoutLogLineOrChartStep();
    void outputOnAppendsOneLinePerSecondWithTheCaretAtTheEnd();
    void buttonCaptionsFollowOutputAndRun_data();
    void buttonCaptionsFollowOutputAndRun();
    void overCurrentListIsRebuiltKeepingTheMode();
    void countedRunEndsOnceAtTheDisplayTick();
    void chartColumnAdvancesOnlyWhileTheOutputIsOn();
};

void DisplayUpdateTest::readoutTexts_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("voltage");
    QTest::addColumn<QString>("current");
    QTest::newRow("1234") << "1234"
                          << "12.34V"
                          << "1.234A";
    QTest::newRow("0000") << "0000"
                          << "00.00V"
                          << "0.000A";
    QTest::newRow("3100") << "3100"
                          << "31.00V"
                          << "3.100A";
    QTest::newRow("5100") << "5100"
                          << "51.00V"
                          << "5.100A";
    QTest::newRow("0050") << "0050"
                          << "00.50V"
                          << "0.050A";
    QTest::newRow("not checked") << "9x9x"
                                 << "9x.9xV"
                                 << "9.x9xA";
}

void DisplayUpdateTest::readoutTexts() {
    QFETCH(QString, digits);
    QFETCH(QString, voltage);
    QFETCH(QString, current);
    QCOMPARE(voltageReadoutText(digits), voltage);
    QCOMPARE(currentReadoutText(digits), current);
}

void DisplayUpdateTest::logSecondLines_data() {
    QTest::addColumn<QString>("timeOfDay");
    QTest::addColumn<QString>("voltageDigits");
    QTest::addColumn<QString>("currentDigits");
    QTest::addColumn<bool>("hasReading");
    QTest::addColumn<QString>("line");
    QTest::newRow("reading") << "05:03:09"
                             << "0500"
                             << "0500" << true << "05:03:09          05.00V          0.500A";
    QTest::newRow("full scale") << "17:29:32"
                                << "3100"
                                << "5100" << true << "17:29:32          31.00V          5.100A";
    QTest::newRow("digits as they came")
        << "05:03:09"
        << "12a4"
        << "0x00" << true << "05:03:09          12.a4V          0.x00A";
    QTest::newRow("stale: the last reading is not repeated")
        << "05:03:10"
        << "0500"
        << "0500" << false << "05:03:10          --.--V          -.---A";
    QTest::newRow("link lost: no zeros")
        << "05:03:21"
        << "0000"
        << "0000" << false << "05:03:21          --.--V          -.---A";
    QTest::newRow("AM/PM time") << "5:03:21 PM"
                                << "1200"
                                << "1200" << false << "5:03:21 PM          --.--V          -.---A";
}

// A second without a reading keeps the layout: each digit is a dash.
void DisplayUpdateTest::logSecondLines() {
    QFETCH(QString, timeOfDay);
    QFETCH(QString, voltageDigits);
    QFETCH(QString, currentDigits);
    QFETCH(bool, hasReading);
    QFETCH(QString, line);
    QCOMPARE(logSecondLine(timeOfDay, voltageDigits, currentDigits, hasReading), line);
}

void DisplayUpdateTest::timeOfDayHasHoursMinutesAndSecondsWithoutZone_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("morning");
    QTest::addColumn<QString>("evening");
    QTest::newRow("C") << "C"
                       << "05:02:58"
                       << "17:02:58";
    QTest::newRow("de_DE") << "de_DE"
                           << "05:02:58"
                           << "17:02:58";
    QTest::newRow("en_US") << "en_US"
                           << "5:02:58 AM"
                           << "5:02:58 PM";
    QTest::newRow("zh_CN") << "zh_CN"
                           << "05:02:58"
                           << "17:02:58";
    QTest::newRow("fi_FI") << "fi_FI"
                           << "5.02.58"
                           << "17.02.58";
    QTest::newRow("es_ES") << "es_ES"
                           << "5:02:58"
                           << "17:02:58";
}

void DisplayUpdateTest::timeOfDayHasHoursMinutesAndSecondsWithoutZone() {
    QFETCH(QString, locale);
    QFETCH(QString, morning);
    QFETCH(QString, evening);
    QCOMPARE(timeOfDayText(QTime(5, 2, 58), QLocale(locale)), morning);
    QCOMPARE(timeOfDayText(QTime(17, 2, 58), QLocale(locale)), evening);
}

void DisplayUpdateTest::noLocaleLeavesAZoneOrItsPunctuation() {
    QCOMPARE(withoutTimeZone(QStringLiteral("H:mm:ss (t)")), QStringLiteral("H:mm:ss"));
    QCOMPARE(withoutTimeZone(QStringLiteral("h:mm:ss AP t")), QStringLiteral("h:mm:ss AP"));
    QCOMPARE(withoutTimeZone(QStringLiteral("t HH:mm:ss")), QStringLiteral("HH:mm:ss"));
    QCOMPARE(withoutTimeZone(QStringLiteral("HH:mm:ss [t]")), QStringLiteral("HH:mm:ss"));
    QCOMPARE(withoutTimeZone(QStringLiteral("HH:mm:ss, t")), QStringLiteral("HH:mm:ss"));
    QCOMPARE(withoutTimeZone(QStringLiteral("HH:mm:ss t AP")), QStringLiteral("HH:mm:ss AP"));
    QCOMPARE(withoutTimeZone(QStringLiteral("HH 'h' mm 'min' ss 's' t")),
             QStringLiteral("HH 'h' mm 'min' ss 's'"));

    const QDateTime moment(QDate(2026, 12, 7), QTime(17, 2, 58));
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 100);
    for (const QLocale& locale : locales) {
        const QString text = timeOfDayText(moment.time(), locale);
        const QString where = locale.name() + QStringLiteral(": ") + text;
        const QString zone = locale.toString(moment, QStringLiteral("t"));
        QVERIFY2(zone.isEmpty() || !text.contains(zone), qPrintable(where));
        for (const QChar c : QStringLiteral("()[]{}\uFF08\uFF09")) {
            QVERIFY2(!text.contains(c), qPrintable(where));
        }
        QVERIFY2(text == text.trimmed(), qPrintable(where));
        for (const QChar c : QStringLiteral(",\uFF0C\u060C")) {
            QVERIFY2(!text.startsWith(c) && !text.endsWith(c), qPrintable(where));
        }
        QVERIFY2(text.contains(locale.toString(58)), qPrintable(where));
    }
}

void DisplayUpdateTest::firstUpdateComesInTheTenthTick() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QString log = w.logBox->text();
    QCOMPARE(log, QStringLiteral("Velkor\r\nVersion: 1.0\r\n"));
    ticks(w, 9);
    QVERIFY(w.diagnosticPane->lines().filter(QStringLiteral("F")).isEmpty());
    QVERIFY(w.statusPanels[0]->text().startsWith(QStringLiteral("通讯状态:等待...")));
    w.session().pollTick();
    QCOMPARE(w.diagnosticPane->lines().last(), QStringLiteral("VKPPSU0000H0000NF"));
    QCOMPARE(w.voltageReadout->text(), QStringLiteral("00.00V"));
    QCOMPARE(w.currentReadout->text(), QStringLiteral("0.000A"));
    QCOMPARE(w.session().state.voltageText, QStringLiteral("00.00V"));
    QCOMPARE(w.session().state.currentText, QStringLiteral("0.000A"));
    QVERIFY(w.statusPanels[0]->text().startsWith(QStringLiteral("通讯状态:等待... ")));
    QCOMPARE(w.logBox->text(), log);
    QVERIFY(!w.session().state.displayTick);
    ticks(w, 9);
    QCOMPARE(w.diagnosticPane->lines().filter(QStringLiteral("F")).size(), 1);
    w.session().pollTick();
    QCOMPARE(w.diagnosticPane->lines().filter(QStringLiteral("F")).size(), 2);
}

void DisplayUpdateTest::readoutsShowTheReceivedDigits_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("voltage");
    QTest::addColumn<QString>("current");
    QTest::addColumn<double>("voltageChart");
    QTest::addColumn<double>("currentChart");
    QTest::newRow("full scale") << QByteArray("VKPPSU3100A5100W") << "31.00V"
                                << "5.100A" << 310.0 << 510.0;
    QTest::newRow("leading zeros") << QByteArray("VKPPSU0050A0050W") << "00.50V"
                                   << "0.050A" << 5.0 << 5.0;
    QTest::newRow("1234") << QByteArray("VKPPSU1234A1234B") << "12.34V"
                          << "1.234A" << 123.4 << 123.4;
    QTest::newRow("digits not a number") << QByteArray("VKPPSUx234A12y4W") << "x2.34V"
                                         << "1.2y4A" << 0.0 << 1.2;
}

void DisplayUpdateTest::readoutsShowTheReceivedDigits() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, voltage);
    QFETCH(QString, current);
    QFETCH(double, voltageChart);
    QFETCH(double, currentChart);
    WindowOnFakes f;
    MainWindow& w = buildOnPort(f);
    secondWithReply(f, "VKPPSU1000A2000W");
    QCOMPARE(w.view.voltageHistory[0], 100.0);
    QCOMPARE(w.view.currentHistory[0], 200.0);
    QVERIFY(w.statusPanels[0]->text().startsWith(QStringLiteral("通讯状态:连接成功 ")));
    QVERIFY(w.statusPanels[0]->text().endsWith(QStringLiteral("COM3 → /dev/fake3")));

    secondWithReply(f, reply);
    QCOMPARE(w.voltageReadout->text(), voltage);
    QCOMPARE(w.currentReadout->text(), current);
    QCOMPARE(w.view.voltageHistory[0], voltageChart);
    QCOMPARE(w.view.voltageHistory[1], 100.0);
    QCOMPARE(w.view.currentHistory[0], currentChart);
    QCOMPARE(w.view.currentHistory[1], 200.0);
}

void DisplayUpdateTest::outputOffFollowsRepliesWithoutLogLineOrChartStep() {
    WindowOnFakes f;
    MainWindow& w = buildOnPort(f);
    const QString log = w.logBox->text();
    secondWithReply(f, "VKPPSU1200A0500W");
    QCOMPARE(w.voltageReadout->text(), QStringLiteral("12.00V"));
    const qint16 column = w.view.chartIndex;
    QCOMPARE(column, qint16(1));
    secondWithReply(f, "VKPPSU1300A0600W");
    QCOMPARE(w.voltageReadout->text(), QStringLiteral("13.00V"));
    QCOMPARE(w.currentReadout->text(), QStringLiteral("0.600A"));
    QCOMPARE(w.logBox->text(), log);
    QCOMPARE(w.view.chartIndex, column);
}

void DisplayUpdateTest::outputOnAppendsOneLinePerSecondWithTheCaretAtTheEnd() {
    WindowOnFakes f;
    f.clock.time = QDateTime(QDate(2026, 3, 7), QTime(23, 59, 58));
    MainWindow& w = buildOnPort(f);
    secondWithReply(f, "VKPPSU1200A0500W");
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
    const QString header = QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-3-7   23:59:59");
    QCOMPARE(w.logBox->text(), header);

    secondWithReply(f, "VKPPSU1199A0498W");
    secondWithReply(f, "VKPPSU0005A5100W");
    QCOMPARE(w.logBox->text(), header + QStringLiteral("\r\n00:00:00") + kGap +
                                   QStringLiteral("11.99V") + kGap + QStringLiteral("0.498A") +
                                   QStringLiteral("\r\n00:00:01") + kGap +
                                   QStringLiteral("00.05V") + kGap + QStringLiteral("5.100A"));
    QCOMPARE(w.logBox->textCursor().position(), w.logBox->document()->characterCount() - 1);

    // Between display ticks nothing is added.
    ticks(w, 9);
    QCOMPARE(w.logBox->text().count(QStringLiteral("\r\n")), 4);
}

void DisplayUpdateTest::buttonCaptionsFollowOutputAndRun_data() {
    QTest::addColumn<bool>("outputOn");
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("outputCaption");
    QTest::addColumn<QString>("runCaption");
    QTest::newRow("on, run") << true << true << false << "关"
                             << "停止";
    QTest::newRow("on, no run") << true << false << false << "关"
                                << "开始";
    QTest::newRow("off") << false << false << false << "开"
                         << "开始";
    QTest::newRow("on, run, English") << true << true << true << "OFF"
                                      << "STOP";
    QTest::newRow("on, no run, English") << true << false << true << "OFF"
                                         << "RUN";
    QTest::newRow("off, English") << false << false << true << "ON"
                                  << "RUN";
}

void DisplayUpdateTest::buttonCaptionsFollowOutputAndRun() {
    QFETCH(bool, outputOn);
    QFETCH(bool, runActive);
    QFETCH(bool, english);
    QFETCH(QString, outputCaption);
    QFETCH(QString, runCaption);
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{1.0, 1.0, 100.0}}));
    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    if (runActive) {
        w.runButtonClicked();
    } else if (outputOn) {
        w.outputButtonClicked();
    }
    w.session().setEnglish(english);
    w.outputButton->setText(QStringLiteral("?"));
    w.runButton->setText(QStringLiteral("?"));
    ticks(w, 10);
    QCOMPARE(w.outputButton->text(), outputCaption);
    QCOMPARE(w.runButton->text(), runCaption);
}

void DisplayUpdateTest::overCurrentListIsRebuiltKeepingTheMode() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.overCurrentModeList->setCurrentIndex(1);
    emit w.overCurrentModeList->activated(1);
    w.overCurrentModeList->setItemText(0, QStringLiteral("?"));
    ticks(w, 10);
    QCOMPARE(w.overCurrentModeList->count(), 2);
    QCOMPARE(w.overCurrentModeList->itemText(0), QStringLiteral("恒流输出"));
    QCOMPARE(w.overCurrentModeList->itemText(1), QStringLiteral("过流关断"));
    QCOMPARE(w.overCurrentModeList->currentIndex(), 1);
    QVERIFY(w.session().state.tripMode);

    // A mode a script sets shows in the list at once.
    w.session().setTripMode(false);
    QCOMPARE(w.overCurrentModeList->currentIndex(), 0);
}

void DisplayUpdateTest::countedRunEndsOnceAtTheDisplayTick() {
    WindowOnFakes f;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "setup");
        db.setDatabaseName(f.programDir() + QStringLiteral("/db1.sqlite"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, "
                                          "\"电压（V）\" REAL, \"电流（A）\" REAL, "
                                          "\"时间（S）\" REAL)")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO VK7100PPS1 VALUES (1, 10, 1, 2)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));

    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    w.runCountList->setCurrentIndex(1);
    emit w.runCountList->activated(1);
    w.runButtonClicked();
    QVERIFY(w.session().running());
    QCOMPARE(w.session().state.runsLeft, qint16(1));
    ticks(w, 10);
    QVERIFY(w.session().running());
    ticks(w, 9);
    QVERIFY(w.session().running());
    QCOMPARE(recordEntries(f).size(), 0);
    w.session().pollTick();
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QVERIFY(w.session().state.runEndHandled);
    QCOMPARE(recordEntries(f).size(), 1);
    ticks(w, 50);
    QCOMPARE(recordEntries(f).size(), 1);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void DisplayUpdateTest::chartColumnAdvancesOnlyWhileTheOutputIsOn() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.view.chartIndex, qint16(0));
    ticks(w, 10);
    QCOMPARE(w.view.chartIndex, qint16(1));
    ticks(w, 20);
    QCOMPARE(w.view.chartIndex, qint16(1));

    w.session().state.linkUp = true;
    w.outputButtonClicked();
    QCOMPARE(w.view.chartIndex, qint16(0));
    ticks(w, 10);
    QCOMPARE(w.view.chartIndex, qint16(1));
    ticks(w, 30);
    QCOMPARE(w.view.chartIndex, qint16(4));

    // A full sweep starts over: the frame is cleared, then drawn anew.
    w.view.chartIndex = 100;
    ticks(w, 10);
    QCOMPARE(w.view.chartIndex, qint16(0));
    ticks(w, 10);
    QCOMPARE(w.view.chartIndex, qint16(1));
}

VELKOR_TEST_MAIN_IN_C_LOCALE(DisplayUpdateTest)

#include "test_display_update.moc"
