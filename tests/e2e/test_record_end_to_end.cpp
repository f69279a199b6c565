#include "display/log_box.h"
#include "live_window.h"
#include "waiting.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

class RecordEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void recordHoldsTheSimulatorsValues();
};

// 12 V with a 2 A limit into the simulator's 10 ohm load: 12.00 V, 1.200 A.
void RecordEndToEndTest::recordHoldsTheSimulatorsValues() {
    LiveWindow live;
    Simulator sim(live.dir.path(), {});
    QVERIFY(sim.waitUntilLinked());
    Form1& w = live.start();
    w.Combo1->setCurrentIndex(12);
    emit w.Combo1->activated(12);
    w.Combo2->setCurrentIndex(20);
    emit w.Combo2->activated(20);
    QVERIFY(waitFor([&] { return w.state.linkUp; }, 8000));
    QVERIFY(waitFor([&] { return w.state.currentSetpoint == qint16(2000); }, 8000));
    QCOMPARE(w.state.currentSetpoint, qint16(2000));

    w.Command1_Click();
    QVERIFY(w.state.outputOn);
    const QString measured = QStringLiteral("12.00V          1.200A");
    QVERIFY(waitFor([&] { return w.Text3->text().count(measured) >= 3; }, 10000));
    w.Command1_Click();
    QVERIFY(!w.state.outputOn);

    const QDir records(live.dir.path() + QStringLiteral("/Record"));
    // The record is written away from the window's thread; the log box
    // gets its save-path line once it is saved.
    QVERIFY(waitFor([&] { return w.Text3->text().contains(QStringLiteral("保存路径:")); }, 15000));
    const QStringList names = records.entryList(QDir::Files);
    QCOMPARE(names.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{10,14}\\.TXT$")).match(names[0]).hasMatch());
    QFile file(records.filePath(names[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, (w.Text3->text() + QStringLiteral("\r\n")).toLocal8Bit());
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));

    QStringList lines = QString::fromLocal8Bit(bytes).split(QStringLiteral("\r\n"));
    QVERIFY(lines.takeLast().isEmpty());
    QCOMPARE(lines.takeLast(),
             QStringLiteral("保存路径:") + QDir::toNativeSeparators(file.fileName()));
    QCOMPARE(lines.mid(0, 2), (QStringList{"Velkor", "Version: 1.0"}));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{1,2}-\\d{1,2}   \\S"))
                .match(lines[2])
                .hasMatch());
    const QRegularExpression line(
        QStringLiteral("^\\S.*\\d\\d {10}\\d\\d\\.\\d\\dV {10}\\d\\.\\d\\d\\dA$"));
    const QStringList measurements = lines.mid(3);
    QVERIFY(measurements.size() >= 3);
    for (const QString& text : measurements) {
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
    }
    // Before the output comes up the supply may still report 0 V for a moment.
    QVERIFY(measurements.filter(measured).size() >= 3);
    QVERIFY(measurements.last().endsWith(measured));
    QVERIFY(live.dialogs.shown.isEmpty());
}

QTEST_MAIN(RecordEndToEndTest)
#include "test_record_end_to_end.moc"
