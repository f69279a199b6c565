// Clicks go through the window system, where a modal box would block them.
#define QTEST_QPA_MOUSE_HANDLING

#include "window/message_boxes.h"

#include "fakes.h"
#include "step_table_file.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

QList<QMessageBox*> openBoxes(QWidget* owner) {
    QList<QMessageBox*> boxes;
    for (QMessageBox* box : owner->findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            boxes.append(box);
        }
    }
    return boxes;
}

} // namespace

class MessageBoxesTest : public QObject {
    Q_OBJECT
private slots:
    void boxOpensWithoutBlockingAndTimersGoOn();
    void identicalBoxIsNotOpenedTwice();
    void emptyTitleIsTheApplicationNameAndCountsAsIt();
    void outputAndRunButtonsTakeClicksWhileBoxesWait();
};

void MessageBoxesTest::boxOpensWithoutBlockingAndTimersGoOn() {
    QWidget owner;
    owner.show();
    MessageBoxes boxes(&owner);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();

    boxes.message(QStringLiteral("读串口数据错误"), QStringLiteral("Velkor"));
    const QList<QMessageBox*> open = openBoxes(&owner);
    QCOMPARE(open.size(), 1);
    QCOMPARE(open.first()->text(), QStringLiteral("读串口数据错误"));
    QCOMPARE(open.first()->windowTitle(), QStringLiteral("Velkor"));
    QCOMPARE(open.first()->icon(), QMessageBox::NoIcon);
    QCOMPARE(open.first()->buttons().size(), 1);
    QCOMPARE(open.first()->windowModality(), Qt::NonModal);

    // The box waits for its OK while the timer keeps ticking.
    QTRY_VERIFY(ticks > 20);
    QVERIFY(open.first()->isVisible());
    open.first()->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(openBoxes(&owner).isEmpty());
}

void MessageBoxesTest::identicalBoxIsNotOpenedTwice() {
    QWidget owner;
    owner.show();
    MessageBoxes boxes(&owner);
    boxes.message(QStringLiteral("请输入4位不大于31的正数"), QStringLiteral("电压数据错误"));
    boxes.message(QStringLiteral("请输入4位不大于31的正数"), QStringLiteral("电压数据错误"));
    QCOMPARE(openBoxes(&owner).size(), 1);
    boxes.message(QStringLiteral("请输入4位不大于31的正数"), QStringLiteral("设置电压数据错误"));
    QCOMPARE(openBoxes(&owner).size(), 2);

    for (QMessageBox* box : openBoxes(&owner)) {
        box->button(QMessageBox::Ok)->click();
    }
    QTRY_VERIFY(openBoxes(&owner).isEmpty());
    boxes.message(QStringLiteral("请输入4位不大于31的正数"), QStringLiteral("电压数据错误"));
    QCOMPARE(openBoxes(&owner).size(), 1);

    // The program closes only the box with the same text and title.
    boxes.closeMessage(QStringLiteral("请输入4位不大于31的正数"),
                       QStringLiteral("设置电压数据错误"));
    QCOMPARE(openBoxes(&owner).size(), 1);
    boxes.closeMessage(QStringLiteral("请输入4位不大于31的正数"), QStringLiteral("电压数据错误"));
    QTRY_VERIFY(openBoxes(&owner).isEmpty());
}

void MessageBoxesTest::emptyTitleIsTheApplicationNameAndCountsAsIt() {
    QWidget owner;
    owner.show();
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    MessageBoxes boxes(&owner);
    // A device that keeps failing asks for the read-error box at every read.
    for (int read = 0; read < 3; ++read) {
        boxes.message(QStringLiteral("读串口数据错误"), QString());
    }
    boxes.message(QStringLiteral("读串口数据错误"), QStringLiteral("Velkor"));
    const QList<QMessageBox*> open = openBoxes(&owner);
    QCOMPARE(open.size(), 1);
    QCOMPARE(open.first()->windowTitle(), QStringLiteral("Velkor"));
}

// After a loss of the link two boxes may wait at once; the operator must
// still be able to switch the output off and stop a run with the mouse.
void MessageBoxesTest::outputAndRunButtonsTakeClicksWhileBoxesWait() {
    QTemporaryDir dir;
    QVERIFY(writeStepFile(dir.path(), {{5, 1, 3}}));
    FakeSerialPort port;
    port.usablePorts = {3};
    port.replyWhenIdle = "VKPPSU0500A0100W";
    FakeClock clock;
    FakeScreen screen;
    MessageBoxes boxes;
    const Platform platform{&port, &clock, &screen, &boxes, dir.path(), dir.path()};
    SupplySession session(platform);
    session.open();
    MainWindow w(session, platform);
    boxes.setOwner(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The whole reference layout, run button included, inside the window,
    // whatever the size of the test's screen.
    w.showNormal();
    w.resize(1440, 900);
    ticks(w, 10);
    QVERIFY(w.session().state.linkUp);

    const auto openTwoBoxes = [&] {
        boxes.message(QStringLiteral("读串口数据错误"), QString());
        boxes.message(QStringLiteral("记录文件未能保存。"), QStringLiteral("Velkor"));
        QCOMPARE(openBoxes(&w).size(), 2);
    };
    const auto click = [](QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    };

    click(w.outputButton);
    QVERIFY(w.session().outputOn());
    openTwoBoxes();
    click(w.outputButton);
    QVERIFY(!w.session().outputOn());

    click(w.runButton);
    QVERIFY(w.session().running());
    openTwoBoxes();
    click(w.runButton);
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
}

QTEST_MAIN(MessageBoxesTest)
#include "test_message_boxes.moc"
