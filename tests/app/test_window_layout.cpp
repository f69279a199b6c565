#include "app/diagnostic_pane.h"
#include "display/log_box.h"
#include "display/picture_box.h"
#include "fakes.h"
#include "sequence/step_grid.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QtTest>

namespace {

QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void controlsStandAtTheReferenceGeometry_data();
    void controlsStandAtTheReferenceGeometry();
    void rightmostControlsEndAt20415Twips();
    void everyControlIsFoundByItsDesignName();
    void fontsAndColours();
    void hiddenControlsAndEdgeBars();
    void entryBoxesLieOverTheirListsWithTheButtonFree();
    void focusOrder();
};

void WindowLayoutTest::controlsStandAtTheReferenceGeometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("Label5") << "Label5" << twips(720, 240, 2175, 495);
    QTest::newRow("Frame1") << "Frame1" << twips(240, 1560, 5655, 1695);
    QTest::newRow("Frame2") << "Frame2" << twips(240, 3600, 5655, 7095);
    QTest::newRow("Picture1(0)") << "Picture1(0)" << twips(6360, 360, 9975, 3135);
    QTest::newRow("Picture1(1)") << "Picture1(1)" << twips(6360, 3840, 9975, 3135);
    QTest::newRow("Text3") << "Text3" << twips(6360, 7440, 9975, 3135);
    QTest::newRow("DataGrid1") << "DataGrid1" << twips(17040, 360, 3375, 7935);
    QTest::newRow("Label7") << "Label7" << twips(17040, 8880, 975, 375);
    QTest::newRow("Command4") << "Command4" << twips(19440, 8760, 975, 495);
    QTest::newRow("Label2 in Frame1") << "Label2" << twips(960, 720, 1350, 450);
    QTest::newRow("Label4 in Frame1") << "Label4" << twips(3600, 720, 1695, 450);
    QTest::newRow("Text1 in Frame2") << "Text1" << twips(360, 840, 1575, 555);
    QTest::newRow("Slider2 in Frame2") << "Slider2" << twips(3480, 1680, 600, 3135);
    QTest::newRow("Command1 in Frame2") << "Command1" << twips(360, 5640, 1695, 615);
    QTest::newRow("Label6 in Frame2") << "Label6" << twips(2700, 5280, 2895, 375);
    QTest::newRow("Picture2 as stored") << "Picture2" << twips(6120, 360, 13215, 10455);
}

void WindowLayoutTest::controlsStandAtTheReferenceGeometry() {
    QFETCH(QString, name);
    QFETCH(QRect, expected);
    WindowOnFakes f;
    Form1& w = f.build();
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), expected);
}

void WindowLayoutTest::rightmostControlsEndAt20415Twips() {
    WindowOnFakes f;
    Form1& w = f.build();
    const int edge = 20415 / 15;
    QCOMPARE(w.DataGrid1->geometry().x() + w.DataGrid1->geometry().width(), edge);
    QCOMPARE(w.Command4->geometry().x() + w.Command4->geometry().width(), edge);
    for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden() || child == w.Toolbar1 || child == w.StatusBar1) {
            continue;
        }
        QVERIFY2(child->geometry().right() < edge, qPrintable(child->objectName()));
    }
}

void WindowLayoutTest::everyControlIsFoundByItsDesignName() {
    WindowOnFakes f;
    Form1& w = f.build();
    const QStringList names = {
        "Label1",   "Label2",   "Label3",   "Label4",      "Label5",      "Label6",   "Label7",
        "Combo1",   "Combo2",   "Combo3",   "Combo4",      "Combo5",      "Text1",    "Text2",
        "Text3",    "Frame1",   "Frame2",   "Picture1(0)", "Picture1(1)", "Picture2", "DataGrid1",
        "Command1", "Command4", "Command5", "Slider1",     "Slider2",     "Toolbar1", "StatusBar1"};
    for (const QString& name : names) {
        QVERIFY2(w.findChild<QWidget*>(name), qPrintable(name));
    }
    QVERIFY(w.findChild<QObject*>(QStringLiteral("Timer1")));
    QVERIFY(w.findChild<QObject*>(QStringLiteral("Adodc1")));
    QCOMPARE(w.Label6->parentWidget(), w.Frame2);
    QCOMPARE(w.Label1->parentWidget(), w.Frame1);
}

void WindowLayoutTest::fontsAndColours() {
    WindowOnFakes f;
    Form1& w = f.build();
    const QColor blue(0, 0, 255);
    const QColor red(255, 0, 0);
    struct Expected {
        QWidget* control;
        const char* face;
        double points;
    };
    const std::array<Expected, 9> fonts = {{{w.Label5, "宋体", 16},
                                            {w.Combo3, "黑体", 14},
                                            {w.Frame1, "楷体_GB2312", 18},
                                            {w.Label6, "楷体_GB2312", 18},
                                            {w.Label1, "宋体", 22},
                                            {w.Text1, "宋体", 22},
                                            {w.Combo5, "宋体", 10.5},
                                            {w.Command4, "宋体", 15},
                                            {w.DataGrid1, "宋体", 9}}};
    for (const Expected& e : fonts) {
        QCOMPARE(e.control->font().family(), QString::fromUtf8(e.face));
        QCOMPARE(e.control->font().pointSizeF(), e.points);
        QCOMPARE(e.control->font().weight(), QFont::Normal);
    }
    QCOMPARE(w.Picture1[0]->font().pointSizeF(), 9.0);
    QCOMPARE(w.Label1->palette().color(QPalette::WindowText), red);
    QCOMPARE(w.Label3->palette().color(QPalette::WindowText), red);
    QCOMPARE(w.Label2->palette().color(QPalette::WindowText), blue);
    QCOMPARE(w.Text1->palette().color(QPalette::Text), blue);
    QCOMPARE(w.Combo4->palette().color(QPalette::Text), blue);
    QCOMPARE(w.Frame2->palette().color(QPalette::WindowText), blue);
    QVERIFY(w.Command1->palette().color(QPalette::ButtonText) != blue);
    QCOMPARE(w.Picture1[1]->foreColor(), QColor(Qt::white));
    QVERIFY(w.Picture1[1]->backColor() != QColor(Qt::white));
    QCOMPARE(w.Label6->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QCOMPARE(w.DataGrid1->caption(), QStringLiteral("Velkor"));
}

void WindowLayoutTest::hiddenControlsAndEdgeBars() {
    WindowOnFakes f;
    Form1& w = f.build();
    w.show();
    QVERIFY(!w.Picture2->isVisible());
    QVERIFY(!w.Command5->isVisible());
    QVERIFY(w.Command4->isVisible());
    QCOMPARE(w.Toolbar1->geometry(), QRect(0, 0, w.width(), 45));
    QCOMPARE(w.StatusBar1->geometry(), QRect(0, w.height() - 33, w.width(), 33));
    // The toolbar band lies behind the language caption and selector.
    const QObjectList children = w.children();
    QVERIFY(children.indexOf(w.Toolbar1) < children.indexOf(w.Label5));
    QVERIFY(children.indexOf(w.Toolbar1) < children.indexOf(w.Combo3));
    QCOMPARE(w.childAt(w.Combo3->geometry().center()), w.Combo3);
}

void WindowLayoutTest::entryBoxesLieOverTheirListsWithTheButtonFree() {
    WindowOnFakes f;
    Form1& w = f.build();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QObjectList inFrame = w.Frame2->children();
    QVERIFY(inFrame.indexOf(w.Text1) > inFrame.indexOf(w.Combo1));
    QVERIFY(inFrame.indexOf(w.Text2) > inFrame.indexOf(w.Combo2));
    QCOMPARE(w.Text1->pos(), w.Combo1->pos());
    QCOMPARE(w.Combo1->width() - w.Text1->width(), 24);

    QCOMPARE(w.Frame2->childAt(w.Text1->geometry().center()), w.Text1);
    const QPoint button(w.Combo1->geometry().right() - 8, w.Text1->geometry().center().y());
    QCOMPARE(w.Frame2->childAt(button), w.Combo1);
    // A click there opens the voltage list.
    QTest::mouseClick(w.Combo1, Qt::LeftButton, {}, w.Combo1->mapFrom(w.Frame2, button));
    QTRY_VERIFY(w.Combo1->view()->isVisible());
    w.Combo1->hidePopup();
}

void WindowLayoutTest::focusOrder() {
    WindowOnFakes f;
    Form1& w = f.build();
    const QList<QWidget*> expected = {w.Picture1[1], w.Picture1[0], w.Combo1,    w.Combo2,
                                      w.Slider1,     w.Slider2,     w.Text1,     w.Text2,
                                      w.Combo3,      w.Command4,    w.DataGrid1, w.Text3,
                                      w.Combo4,      w.Command1,    w.Combo5};
    QList<QWidget*> chain;
    QWidget* at = w.Picture1[1];
    for (int step = 0; step < 500 && chain.size() < expected.size(); ++step) {
        QWidget* seen = at;
        if (at == w.DataGrid1->table()) {
            seen = w.DataGrid1;
        }
        if (expected.contains(seen) && (chain.isEmpty() || chain.last() != seen)) {
            chain.append(seen);
        }
        at = at->nextInFocusChain();
    }
    QCOMPARE(chain, expected);
}

QTEST_MAIN(WindowLayoutTest)
#include "test_window_layout.moc"
