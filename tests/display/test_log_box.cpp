#include "window/log_box.h"

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

class LogBoxTest : public QObject {
    Q_OBJECT
private slots:
    void keepsTheWholeLogWithItsLineEnds();
    void showsTheNewestLinesOnly();
    void wrapsAndKeepsTheNewestLineInView();
};

void LogBoxTest::keepsTheWholeLogWithItsLineEnds() {
    LogBox box(QStringLiteral("logBox"));
    QCOMPARE(box.text(), QStringLiteral("logBox"));
    box.setText(QStringLiteral("Velkor\r\n"));
    box.appendText(QStringLiteral("Version: 1.0\r\n"));
    box.appendText(QStringLiteral("2026-12-6   05:02:58"));
    box.appendText(QStringLiteral("\r\n05:02:59          12.34V          1.234A"));
    QCOMPARE(box.text(), QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:02:58\r\n"
                                        "05:02:59          12.34V          1.234A"));
    QCOMPARE(box.toPlainText(), QStringLiteral("Velkor\nVersion: 1.0\n2026-12-6   05:02:58\n"
                                               "05:02:59          12.34V          1.234A"));
    box.appendText(QStringLiteral("\r\n保存路径:/x/Record/2026126539.TXT"));
    QVERIFY(box.text().endsWith(QStringLiteral("\r\n保存路径:/x/Record/2026126539.TXT")));
    QVERIFY(box.isReadOnly());
}

void LogBoxTest::showsTheNewestLinesOnly() {
    LogBox box(QStringLiteral("header"));
    const int lines = LogBox::kShownLines + 1234;
    for (int i = 1; i <= lines; ++i) {
        box.appendText(QStringLiteral("\r\nline %1").arg(i));
    }
    QCOMPARE(box.text().count(QStringLiteral("\r\n")), lines);
    QVERIFY(box.text().startsWith(QStringLiteral("header\r\nline 1\r\n")));
    QCOMPARE(box.document()->blockCount(), LogBox::kShownLines);
    QCOMPARE(box.document()->lastBlock().text(), QStringLiteral("line %1").arg(lines));
    box.setText(QStringLiteral("fresh"));
    QCOMPARE(box.text(), QStringLiteral("fresh"));
    QCOMPARE(box.document()->blockCount(), 1);
}

void LogBoxTest::wrapsAndKeepsTheNewestLineInView() {
    LogBox box(QStringLiteral("Velkor"));
    box.resize(320, 130);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (int i = 1; i <= 40; ++i) {
        box.appendText(QStringLiteral("\r\n05:02:%1          12.34V          1.234A").arg(i));
    }
    box.appendText(QStringLiteral("\r\n"));
    box.appendText(QStringLiteral("保存路径:") + QStringLiteral("/a-deep-folder").repeated(12) +
                   QStringLiteral("/2026126539.TXT"));
    QApplication::processEvents();

    QCOMPARE(box.horizontalScrollBar()->maximum(), 0);
    QVERIFY(box.document()->lastBlock().layout()->lineCount() > 1);
    QVERIFY(box.textCursor().atEnd());
    const QRect caret = box.cursorRect();
    QVERIFY2(caret.top() >= 0 && caret.bottom() <= box.viewport()->height(),
             qPrintable(QStringLiteral("%1..%2 of %3")
                            .arg(caret.top())
                            .arg(caret.bottom())
                            .arg(box.viewport()->height())));
}

QTEST_MAIN(LogBoxTest)
#include "test_log_box.moc"
