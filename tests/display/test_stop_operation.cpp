#include "fakes.h"
#include "record/log_text.h"
#include "step_table_file.h"
#include "window/log_box.h"
#include "window/step_grid.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

namespace {

const QString kGap(10, QLatin1Char(' '));

// The next second: the clock moves on, the reply arrives and is shown.
void secondWithReply(WindowOnFakes& f, const QByteArray& reply) {
    f.clock.time = f.clock.time.addSecs(1);
    f.port.queueRead(reply);
    ticks(*f.window, 10);
}

QString lastLogLine(const MainWindow& w) {
    return w.logBox->text().split(QStringLiteral("\r\n")).last();
}

void checkFrontPanelEnabled(const MainWindow& w) {
    const QList<QWidget*> panel{w.outputButton,    w.voltageSlider,   w.currentSlider,
                                w.voltageStepList, w.currentStepList, w.voltageEntry,
                                w.currentEntry};
    for (const QWidget* control : panel) {
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
}

} // namespace

class StopOperationTest : public QObject {
    Q_OBJECT
private slots:
    void stopStamps_data();
    void stopStamps();
    void stopWritesTheWholeLogAsARecordFile();
    void recordDirectoryIsReusedAndEarlierRecordsKept();
    void englishSavePath();
    void stopEndsTheRunAndGivesTheFrontPanelBack();
    void overCurrentTripsInShutDownMode();
    void constantCurrentModeIgnoresOverCurrent();
    void coincidingStampsDoNotOverwrite();
    void unwritableRecordIsReportedAndTheOutputStaysOff_data();
    void unwritableRecordIsReportedAndTheOutputStaysOff();
};

void StopOperationTest::stopStamps_data() {
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("2026-12-06 05:03:09")
        << QDateTime(QDate(2026, 12, 6), QTime(5, 3, 9)) << "2026126539";
    QTest::newRow("2026-01-16 05:03:09")
        << QDateTime(QDate(2026, 1, 16), QTime(5, 3, 9)) << "2026116539";
    QTest::newRow("2026-11-06 05:03:09")
        << QDateTime(QDate(2026, 11, 6), QTime(5, 3, 9)) << "2026116539";
    QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)) << "202711000";
    QTest::newRow("last second of a year")
        << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)) << "20261231235959";
}

void StopOperationTest::stopStamps() {
    QFETCH(QDateTime, moment);
    QFETCH(QString, stamp);
    QCOMPARE(stopStamp(moment), stamp);
}

// Switched on at 05:02:58 and off at 05:03:09 on 2026-12-06.
void StopOperationTest::stopWritesTheWholeLogAsARecordFile() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    f.clock.time = QDateTime(QDate(2026, 12, 6), QTime(5, 2, 57));
    MainWindow& w = f.build();
    secondWithReply(f, "VKPPSU1200A1200W");
    QVERIFY(w.session().state.linkUp);
    w.outputButton->click();
    QVERIFY(w.session().outputOn());
    QVERIFY(!QFileInfo::exists(recordDir(f)));

    QString expected = QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:02:58");
    for (int second = 1; second <= 11; ++second) {
        const int volts = 1200 + second;
        const int milliamperes = 600 + second;
        const QString digits = QStringLiteral("%1").arg(milliamperes, 4, 10, QLatin1Char('0'));
        secondWithReply(f, QStringLiteral("VKPPSU%1A%2W").arg(volts).arg(digits).toLatin1());
        expected += QStringLiteral("\r\n") +
                    f.clock.time.time().toString(QStringLiteral("HH:mm:ss")) + kGap +
                    voltageReadoutText(QString::number(volts)) + kGap + currentReadoutText(digits);
    }
    QCOMPARE(f.clock.time.time(), QTime(5, 3, 9));
    w.outputButton->click();
    QVERIFY(!w.session().outputOn());

    const QString path = recordDir(f) + QStringLiteral("/2026126539.TXT");
    expected +=
        QStringLiteral("\r\n05:03:09") + kGap + QStringLiteral("输出关闭 / output switched off");
    expected += QStringLiteral("\r\n保存路径:") + QDir::toNativeSeparators(path);
    QCOMPARE(recordEntries(f), QStringList{QStringLiteral("2026126539.TXT")});
    // The log stays on screen until the next switch-on.
    QCOMPARE(w.logBox->text(), expected);

    const QByteArray bytes = fileBytes(path);
    QCOMPARE(bytes, (expected + QStringLiteral("\r\n")).toLocal8Bit());
    QCOMPARE(bytes.count("\r\n"), 16);
    QCOMPARE(bytes.count(QByteArrayView("\n")), 16);
    QVERIFY(bytes.contains("05:03:09          12.11V          0.611A\r\n"));
    QVERIFY(f.dialogs.shown.isEmpty());
    w.session().pollTick();
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));
}

void StopOperationTest::recordDirectoryIsReusedAndEarlierRecordsKept() {
    WindowOnFakes f;
    QVERIFY(QDir().mkpath(recordDir(f)));
    QFile other(recordDir(f) + QStringLiteral("/notes.txt"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("kept");
    other.close();

    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    w.outputButtonClicked();
    const QByteArray first = fileBytes(recordDir(f) + QStringLiteral("/2026126539.TXT"));
    QVERIFY(first.startsWith("Velkor\r\n"));

    f.clock.time = QDateTime(QDate(2026, 12, 6), QTime(5, 4, 10));
    w.outputButtonClicked();
    w.outputButtonClicked();
    QCOMPARE(recordEntries(f), (QStringList{"2026126539.TXT", "20261265410.TXT", "notes.txt"}));
    QCOMPARE(fileBytes(recordDir(f) + QStringLiteral("/2026126539.TXT")), first);
    QCOMPARE(fileBytes(other.fileName()), QByteArray("kept"));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void StopOperationTest::englishSavePath() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.languageList->setCurrentIndex(1);
    emit w.languageList->activated(1);
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    w.outputButtonClicked();
    const QString path = recordDir(f) + QStringLiteral("/2026126539.TXT");
    QCOMPARE(lastLogLine(w), QStringLiteral("Save Path:") + QDir::toNativeSeparators(path));
    QVERIFY(fileBytes(path).endsWith(
        (QStringLiteral("\r\nSave Path:") + QDir::toNativeSeparators(path) + "\r\n")
            .toLocal8Bit()));
}

void StopOperationTest::stopEndsTheRunAndGivesTheFrontPanelBack() {
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{10, 1, 5}}));
    MainWindow& w = f.build();
    const QColor face = w.runButton->palette().color(QPalette::Button);
    w.session().state.linkUp = true;
    w.runButtonClicked();
    QVERIFY(w.session().running());
    QVERIFY(!w.voltageEntry->isEnabled());
    QVERIFY(w.stepGrid->isLocked());
    ticks(w, 10);
    QCOMPARE(w.session().state.secondsLeft, qint16(4));

    w.session().stop();
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QCOMPARE(w.session().state.rowIndex, qint16(0));
    QCOMPARE(w.session().state.secondsLeft, qint16(0));
    QVERIFY(!w.stepGrid->isLocked());
    checkFrontPanelEnabled(w);
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    QCOMPARE(w.runButton->text(), QStringLiteral("开始"));
    QCOMPARE(w.outputButton->palette().color(QPalette::Button), face);
    QCOMPARE(w.runButton->palette().color(QPalette::Button), face);
    QCOMPARE(recordEntries(f), QStringList{QStringLiteral("2026126539.TXT")});
    w.session().pollTick();
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0000H0000N"));
}

void StopOperationTest::overCurrentTripsInShutDownMode() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.overCurrentModeList->setCurrentIndex(1);
    emit w.overCurrentModeList->activated(1);
    secondWithReply(f, "VKPPSU1200A1200W");
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());

    // The read that brings the "B" comes after this tick's frame.
    secondWithReply(f, "VKPPSU1200A1200B");
    QVERIFY(w.session().state.overCurrent);
    QVERIFY(w.session().outputOn());
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('O')));
    QVERIFY(recordEntries(f).isEmpty());

    w.session().pollTick();
    QVERIFY(!w.session().outputOn());
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0000C0000N"));
    QCOMPARE(recordEntries(f).size(), 1);
    for (int i = 0; i < 16; ++i) {
        w.session().sendTick();
    }
    QVERIFY(f.port.written.endsWith("VKPPSU0000C0000N"));
    ticks(w, 5);
    QCOMPARE(recordEntries(f).size(), 1);

    // Switched on again before a "W" has come: it trips in the next tick.
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
    w.session().pollTick();
    QVERIFY(!w.session().outputOn());
    QCOMPARE(recordEntries(f).size(), 2);

    f.port.queueRead("VKPPSU1200A1200W");
    ticks(w, 10);
    QVERIFY(!w.session().state.overCurrent);
    w.outputButtonClicked();
    ticks(w, 20);
    QVERIFY(w.session().outputOn());
    QCOMPARE(recordEntries(f).size(), 2);
    // Each trip told the operator why the output went off.
    QCOMPARE(f.dialogs.shown.size(), 2);
    for (const ShownMessage& shown : f.dialogs.shown) {
        QVERIFY(shown.text.contains(QStringLiteral("过流")));
        QVERIFY(shown.text.contains(QStringLiteral("over-current")));
    }
}

void StopOperationTest::constantCurrentModeIgnoresOverCurrent() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    secondWithReply(f, "VKPPSU1200A1200B");
    w.outputButtonClicked();
    for (int second = 0; second < 5; ++second) {
        secondWithReply(f, "VKPPSU1200A1200B");
        QVERIFY(w.session().state.overCurrent);
        QVERIFY(w.session().outputOn());
        QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0000H0000O"));
    }
    QVERIFY(!QFileInfo::exists(recordDir(f)));
    QCOMPARE(w.outputButton->text(), QStringLiteral("关"));
}

// All in one second, so the later records also show the name suffixes.
void StopOperationTest::coincidingStampsDoNotOverwrite() {
    WindowOnFakes f;
    f.clock.time = QDateTime(QDate(2026, 1, 16), QTime(5, 3, 9));
    QVERIFY(QDir().mkpath(recordDir(f)));
    QFile earlier(recordDir(f) + QStringLiteral("/2026116539.TXT"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("from an earlier run\r\n");
    earlier.close();

    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    w.outputButtonClicked();
    f.clock.time = QDateTime(QDate(2026, 11, 6), QTime(5, 3, 9));
    w.outputButtonClicked();
    w.outputButtonClicked();

    QCOMPARE(recordEntries(f),
             (QStringList{"2026116539.TXT", "2026116539_2.TXT", "2026116539_3.TXT"}));
    QCOMPARE(fileBytes(earlier.fileName()), QByteArray("from an earlier run\r\n"));
    QVERIFY(fileBytes(recordDir(f) + QStringLiteral("/2026116539_2.TXT"))
                .contains("2026-1-16   05:03:09"));
    const QString third = recordDir(f) + QStringLiteral("/2026116539_3.TXT");
    QVERIFY(fileBytes(third).contains("2026-11-6   05:03:09"));
    QCOMPARE(lastLogLine(w), QStringLiteral("保存路径:") + QDir::toNativeSeparators(third));
}

void StopOperationTest::unwritableRecordIsReportedAndTheOutputStaysOff_data() {
    QTest::addColumn<bool>("recordIsAFile");
    // Root may write anywhere, so the write is made impossible in ways the
    // file system refuses to everyone.
    QTest::newRow("Record is a file") << true;
    QTest::newRow("Record is a directory that takes no files") << false;
}

void StopOperationTest::unwritableRecordIsReportedAndTheOutputStaysOff() {
    QFETCH(bool, recordIsAFile);
    WindowOnFakes f;
    if (recordIsAFile) {
        QFile file(recordDir(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a directory");
    } else {
        QVERIFY(QFile::link(QStringLiteral("/proc/self"), recordDir(f)));
        if (!QFileInfo(recordDir(f)).isDir()) {
            QSKIP("no folder here refuses new files to everyone (a link is a shortcut file)");
        }
    }
    MainWindow& w = f.build();
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    ticks(w, 10);
    w.outputButtonClicked();

    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(!f.dialogs.shown[0].text.isEmpty());
    QVERIFY(!w.session().outputOn());
    checkFrontPanelEnabled(w);
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    // The save-path line names the file written; here there is none.
    QVERIFY(!w.logBox->text().contains(QStringLiteral("保存路径:")));
    QCOMPARE(QFileInfo(recordDir(f)).isFile(), recordIsAFile);

    // The program goes on: the output stays off and can be switched on again.
    ticks(w, 10);
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
    ticks(w, 10);
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('O')));
    w.outputButtonClicked();
    QCOMPARE(f.dialogs.shown.size(), 2);
    QVERIFY(!w.session().outputOn());
}

VELKOR_TEST_MAIN_IN_C_LOCALE(StopOperationTest)

#include "test_stop_operation.moc"
