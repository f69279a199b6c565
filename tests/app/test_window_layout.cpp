#include "fakes.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"
#include "window/picture_box.h"
#include "window/step_grid.h"

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
    QTest::newRow("languageCaption") << "languageCaption" << twips(720, 240, 2175, 495);
    QTest::newRow("readoutGroup") << "readoutGroup" << twips(240, 1560, 5655, 1695);
    QTest::newRow("settingsGroup") << "settingsGroup" << twips(240, 3600, 5655, 7095);
    QTest::newRow("voltageChart") << "voltageChart" << twips(6360, 360, 9975, 3135);
    QTest::newRow("currentChart") << "currentChart" << twips(6360, 3840, 9975, 3135);
    QTest::newRow("logBox") << "logBox" << twips(6360, 7440, 9975, 3135);
    QTest::newRow("stepGrid") << "stepGrid" << twips(17040, 360, 3375, 7935);
    QTest::newRow("runCountCaption") << "runCountCaption" << twips(17040, 8880, 975, 375);
    QTest::newRow("runButton") << "runButton" << twips(19440, 8760, 975, 495);
    QTest::newRow("voltageReadout in readoutGroup")
        << "voltageReadout" << twips(960, 720, 1350, 450);
    QTest::newRow("currentReadout in readoutGroup")
        << "currentReadout" << twips(3600, 720, 1695, 450);
    QTest::newRow("voltageEntry in settingsGroup") << "voltageEntry" << twips(360, 840, 1575, 555);
    QTest::newRow("currentSlider in settingsGroup")
        << "currentSlider" << twips(3480, 1680, 600, 3135);
    QTest::newRow("outputButton in settingsGroup") << "outputButton" << twips(360, 5640, 1695, 615);
    QTest::newRow("overCurrentModeCaption in settingsGroup")
        << "overCurrentModeCaption" << twips(2700, 5280, 2895, 375);
    QTest::newRow("diagnosticPane as stored") << "diagnosticPane" << twips(6120, 360, 13215, 10455);
}

void WindowLayoutTest::controlsStandAtTheReferenceGeometry() {
    QFETCH(QString, name);
    QFETCH(QRect, expected);
    WindowOnFakes f;
    MainWindow& w = f.build();
    auto* control = w.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), expected);
}

void WindowLayoutTest::rightmostControlsEndAt20415Twips() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const int edge = 20415 / 15;
    QCOMPARE(w.stepGrid->geometry().x() + w.stepGrid->geometry().width(), edge);
    QCOMPARE(w.runButton->geometry().x() + w.runButton->geometry().width(), edge);
    for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden() || child == w.toolBand || child == w.statusBar) {
            continue;
        }
        QVERIFY2(child->geometry().right() < edge, qPrintable(child->objectName()));
    }
}

void WindowLayoutTest::everyControlIsFoundByItsDesignName() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QStringList names = {"voltageCaption",  "voltageReadout",      "currentCaption",
                               "currentReadout",  "languageCaption",     "overCurrentModeCaption",
                               "runCountCaption", "voltageStepList",     "currentStepList",
                               "languageList",    "overCurrentModeList", "runCountList",
                               "voltageEntry",    "currentEntry",        "logBox",
                               "readoutGroup",    "settingsGroup",       "voltageChart",
                               "currentChart",    "diagnosticPane",      "stepGrid",
                               "outputButton",    "runButton",           "clearDiagnosticsButton",
                               "voltageSlider",   "currentSlider",       "toolBand",
                               "statusBar"};
    for (const QString& name : names) {
        QVERIFY2(w.findChild<QWidget*>(name), qPrintable(name));
    }
    QVERIFY(w.session().findChild<QObject*>(QStringLiteral("pollTimer")));
    QVERIFY(w.session().findChild<QObject*>(QStringLiteral("stepTableModel")));
    QCOMPARE(w.overCurrentModeCaption->parentWidget(), w.settingsGroup);
    QCOMPARE(w.voltageCaption->parentWidget(), w.readoutGroup);
}

void WindowLayoutTest::fontsAndColours() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QColor blue(0, 0, 255);
    const QColor red(255, 0, 0);
    struct Expected {
        QWidget* control;
        const char* face;
        double points;
    };
    const std::array<Expected, 9> fonts = {{{w.languageCaption, "宋体", 16},
                                            {w.languageList, "黑体", 14},
                                            {w.readoutGroup, "楷体_GB2312", 18},
                                            {w.overCurrentModeCaption, "楷体_GB2312", 18},
                                            {w.voltageCaption, "宋体", 22},
                                            {w.voltageEntry, "宋体", 22},
                                            {w.runCountList, "宋体", 10.5},
                                            {w.runButton, "宋体", 15},
                                            {w.stepGrid, "宋体", 9}}};
    for (const Expected& e : fonts) {
        QCOMPARE(e.control->font().family(), QString::fromUtf8(e.face));
        QCOMPARE(e.control->font().pointSizeF(), e.points);
        QCOMPARE(e.control->font().weight(), QFont::Normal);
    }
    QCOMPARE(w.charts[0]->font().pointSizeF(), 9.0);
    QCOMPARE(w.voltageCaption->palette().color(QPalette::WindowText), red);
    QCOMPARE(w.currentCaption->palette().color(QPalette::WindowText), red);
    QCOMPARE(w.voltageReadout->palette().color(QPalette::WindowText), blue);
    QCOMPARE(w.voltageEntry->palette().color(QPalette::Text), blue);
    QCOMPARE(w.overCurrentModeList->palette().color(QPalette::Text), blue);
    QCOMPARE(w.settingsGroup->palette().color(QPalette::WindowText), blue);
    QVERIFY(w.outputButton->palette().color(QPalette::ButtonText) != blue);
    QCOMPARE(w.charts[1]->foreColor(), QColor(Qt::white));
    QVERIFY(w.charts[1]->backColor() != QColor(Qt::white));
    QCOMPARE(w.overCurrentModeCaption->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QCOMPARE(w.stepGrid->caption(), QStringLiteral("Velkor"));
}

void WindowLayoutTest::hiddenControlsAndEdgeBars() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.show();
    QVERIFY(!w.diagnosticPane->isVisible());
    QVERIFY(!w.clearDiagnosticsButton->isVisible());
    QVERIFY(w.runButton->isVisible());
    QCOMPARE(w.toolBand->geometry(), QRect(0, 0, w.width(), 45));
    QCOMPARE(w.statusBar->geometry(), QRect(0, w.height() - 33, w.width(), 33));
    // The toolbar band lies behind the language caption and selector.
    const QObjectList children = w.children();
    QVERIFY(children.indexOf(w.toolBand) < children.indexOf(w.languageCaption));
    QVERIFY(children.indexOf(w.toolBand) < children.indexOf(w.languageList));
    QCOMPARE(w.childAt(w.languageList->geometry().center()), w.languageList);
}

void WindowLayoutTest::entryBoxesLieOverTheirListsWithTheButtonFree() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QObjectList inFrame = w.settingsGroup->children();
    QVERIFY(inFrame.indexOf(w.voltageEntry) > inFrame.indexOf(w.voltageStepList));
    QVERIFY(inFrame.indexOf(w.currentEntry) > inFrame.indexOf(w.currentStepList));
    QCOMPARE(w.voltageEntry->pos(), w.voltageStepList->pos());
    QCOMPARE(w.voltageStepList->width() - w.voltageEntry->width(), 24);

    QCOMPARE(w.settingsGroup->childAt(w.voltageEntry->geometry().center()), w.voltageEntry);
    const QPoint button(w.voltageStepList->geometry().right() - 8,
                        w.voltageEntry->geometry().center().y());
    QCOMPARE(w.settingsGroup->childAt(button), w.voltageStepList);
    // A click there opens the voltage list.
    QTest::mouseClick(w.voltageStepList, Qt::LeftButton, {},
                      w.voltageStepList->mapFrom(w.settingsGroup, button));
    QTRY_VERIFY(w.voltageStepList->view()->isVisible());
    w.voltageStepList->hidePopup();
}

void WindowLayoutTest::focusOrder() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    const QList<QWidget*> expected = {
        w.charts[1],     w.charts[0],    w.voltageStepList,     w.currentStepList, w.voltageSlider,
        w.currentSlider, w.voltageEntry, w.currentEntry,        w.languageList,    w.runButton,
        w.stepGrid,      w.logBox,       w.overCurrentModeList, w.outputButton,    w.runCountList};
    QList<QWidget*> chain;
    QWidget* at = w.charts[1];
    for (int step = 0; step < 500 && chain.size() < expected.size(); ++step) {
        QWidget* seen = at;
        if (at == w.stepGrid->table()) {
            seen = w.stepGrid;
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
