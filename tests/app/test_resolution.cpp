#include "fakes.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"
#include "window/picture_box.h"
#include "window/step_grid.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QtTest>

namespace {

// The window's reference layout on the 1440 x 900 screen: twips relative to
// the container, font size in points; 0 = not laid out (combo box heights
// follow their font, sliders have no font).
struct Reference {
    const char* name;
    int left, top, width, height;
    double points;
};

const std::array<Reference, 25> kReference = {{
    {"languageList", 3120, 240, 2535, 0, 14},
    {"languageCaption", 720, 240, 2175, 495, 16},
    {"readoutGroup", 240, 1560, 5655, 1695, 18},
    {"voltageCaption", 360, 720, 615, 450, 22},
    {"voltageReadout", 960, 720, 1350, 450, 22},
    {"currentCaption", 2880, 720, 495, 450, 22},
    {"currentReadout", 3600, 720, 1695, 450, 22},
    {"settingsGroup", 240, 3600, 5655, 7095, 18},
    {"voltageEntry", 360, 840, 1575, 555, 22},
    {"currentEntry", 3240, 840, 1575, 555, 22},
    {"voltageStepList", 360, 840, 1935, 0, 22},
    {"currentStepList", 3240, 840, 1935, 0, 22},
    {"voltageSlider", 600, 1680, 600, 3135, 0},
    {"currentSlider", 3480, 1680, 600, 3135, 0},
    {"outputButton", 360, 5640, 1695, 615, 15},
    {"overCurrentModeCaption", 2700, 5280, 2895, 375, 18},
    {"overCurrentModeList", 3480, 5760, 1935, 0, 10.5},
    {"voltageChart", 6360, 360, 9975, 3135, 9},
    {"currentChart", 6360, 3840, 9975, 3135, 9},
    {"logBox", 6360, 7440, 9975, 3135, 9},
    {"stepGrid", 17040, 360, 3375, 7935, 9},
    {"runCountCaption", 17040, 8880, 975, 375, 10.5},
    {"runCountList", 18120, 8760, 1095, 0, 10.5},
    {"runButton", 19440, 8760, 975, 495, 15},
    {"clearDiagnosticsButton", 1320, 840, 375, 375, 9},
}};

// Pixels of a reference length on a screen of `pixels` against the
// reference's `referencePixels`, at 15 twips per pixel.
double scaled(int twips, int pixels, int referencePixels) {
    return double(twips) * pixels / referencePixels / 15.0;
}

bool withinAPixel(int actual, double expected) {
    return qAbs(actual - expected) <= 1.0;
}

int traced(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += p == qRgb(0, 255, 0) || p == qRgb(255, 0, 0);
        }
    }
    return n;
}

int white(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixel(x, y) == qRgb(255, 255, 255);
        }
    }
    return n;
}

// The window's first tick has drawn the charts; the output is on and a few
// columns are plotted, so a restart shows. The readings count as just
// answered: with no port open, no read makes them stale.
MainWindow& windowWithTraces(WindowOnFakes& f) {
    MainWindow& w = f.build();
    w.session().pollTick();
    w.session().state.linkUp = true;
    w.session().state.readsSinceReply = 0;
    w.outputButtonClicked();
    w.session().state.voltageDigits = QStringLiteral("1500");
    w.session().state.currentDigits = QStringLiteral("1500");
    ticks(w, 30);
    return w;
}

} // namespace

class ResolutionTest : public QObject {
    Q_OBJECT
private slots:
    void controlsFollowTheScreen_data();
    void controlsFollowTheScreen();
    void dataGridAndReadoutFontOn1024x768();
    void firstTickReportsAChangeAndLaysOutAgain();
    void screenChangeIsFollowedWithinOneTick_data();
    void screenChangeIsFollowedWithinOneTick();
    void unchangedPixelCountChangesNothing();
    void edgeBarsHiddenControlsAndGridColumnsStay();
};

void ResolutionTest::controlsFollowTheScreen_data() {
    QTest::addColumn<QSize>("screen");
    QTest::newRow("1440 x 900") << QSize(1440, 900);
    QTest::newRow("1024 x 768") << QSize(1024, 768);
    QTest::newRow("1920 x 1080") << QSize(1920, 1080);
}

// Positions and sizes stretch by the screen's width and height separately;
// fonts by the width only.
void ResolutionTest::controlsFollowTheScreen() {
    QFETCH(QSize, screen);
    WindowOnFakes f;
    f.screen.pixels = screen;
    MainWindow& w = f.build();
    w.session().pollTick();
    QCOMPARE(w.view.scaleX, float(screen.width()) / 1440.0f);
    QCOMPARE(w.view.scaleY, float(screen.height()) / 900.0f);
    const bool reference = screen == QSize(1440, 900);
    if (reference) {
        QCOMPARE(w.view.scaleX, 1.0f);
        QCOMPARE(w.view.scaleY, 1.0f);
    }
    for (const Reference& r : kReference) {
        auto* control = w.findChild<QWidget*>(QString::fromLatin1(r.name));
        QVERIFY2(control, r.name);
        const QRect g = control->geometry();
        const QByteArray seen = QByteArray(r.name) + ": " + QByteArray::number(g.x()) + ", " +
                                QByteArray::number(g.y()) + ", " + QByteArray::number(g.width()) +
                                " x " + QByteArray::number(g.height());
        const double left = scaled(r.left, screen.width(), 1440);
        const double top = scaled(r.top, screen.height(), 900);
        const double width = scaled(r.width, screen.width(), 1440);
        const double height = scaled(r.height, screen.height(), 900);
        if (reference) {
            QVERIFY2(g.x() == left && g.y() == top && g.width() == width, seen);
            QVERIFY2(r.height == 0 || g.height() == height, seen);
        } else {
            QVERIFY2(withinAPixel(g.x(), left) && withinAPixel(g.y(), top) &&
                         withinAPixel(g.width(), width),
                     seen);
            QVERIFY2(r.height == 0 || withinAPixel(g.height(), height), seen);
        }
        if (r.points > 0) {
            const QWidget* lettered = control == w.stepGrid ? w.stepGrid->table() : control;
            const double points = lettered->font().pointSizeF();
            QVERIFY2(qAbs(points - r.points * screen.width() / 1440) < 1e-4,
                     QByteArray(r.name) + ": " + QByteArray::number(points) + " pt");
        }
    }
    // The grid's size is that of its cells; the headings keep theirs.
    QCOMPARE(w.stepGrid->table()->horizontalHeader()->font().pointSizeF(), 9.0);
}

void ResolutionTest::dataGridAndReadoutFontOn1024x768() {
    WindowOnFakes f;
    f.screen.pixels = QSize(1024, 768);
    MainWindow& w = f.build();
    // About 12117 by 307 twips, within half a pixel.
    QVERIFY(qAbs(w.stepGrid->x() * 15 - 12117) <= 7.5);
    QVERIFY(qAbs(w.stepGrid->y() * 15 - 307) <= 7.5);
    // About 15.6 pt, as set; the font system rounds it when drawing.
    QVERIFY(qAbs(w.voltageReadout->font().pointSizeF() - 15.644) < 0.001);
}

// The factors seen last start at 0, so the first tick always finds a change:
// the layout is applied again and the charts get their frames.
void ResolutionTest::firstTickReportsAChangeAndLaysOutAgain() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.view.lastScaleX, 0.0f);
    QCOMPARE(w.view.lastScaleY, 0.0f);
    QCOMPARE(w.view.chartIndex, qint16(0));
    w.languageCaption->move(0, 0);
    w.session().pollTick();
    QCOMPARE(w.view.lastScaleX, 1.0f);
    QCOMPARE(w.view.lastScaleY, 1.0f);
    QCOMPARE(w.languageCaption->pos(), QPoint(48, 16));
    QCOMPARE(w.view.chartIndex, qint16(1));
    QVERIFY(white(w.charts[0]->image()) > 0);
    QCOMPARE(w.screenChanged(), qint16(0));
}

void ResolutionTest::screenChangeIsFollowedWithinOneTick_data() {
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");
    QTest::newRow("to 1024 x 768") << QSize(1440, 900) << QSize(1024, 768);
    QTest::newRow("to 1920 x 1080") << QSize(1440, 900) << QSize(1920, 1080);
    QTest::newRow("back to 1440 x 900") << QSize(1024, 768) << QSize(1440, 900);
    QTest::newRow("one pixel wider") << QSize(1440, 900) << QSize(1441, 900);
    QTest::newRow("one pixel lower") << QSize(1440, 900) << QSize(1440, 899);
}

void ResolutionTest::screenChangeIsFollowedWithinOneTick() {
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    WindowOnFakes f;
    f.screen.pixels = from;
    MainWindow& w = windowWithTraces(f);
    QCOMPARE(w.view.chartIndex, qint16(3));
    QVERIFY(traced(w.charts[0]->image()) > 0);
    const QSize windowSize = w.size();

    f.screen.pixels = to;
    w.session().pollTick();
    const float scaleX = float(to.width()) / 1440.0f;
    const float scaleY = float(to.height()) / 900.0f;
    QCOMPARE(w.view.scaleX, scaleX);
    QCOMPARE(w.view.lastScaleY, scaleY);
    QVERIFY(withinAPixel(w.stepGrid->x(), scaled(17040, to.width(), 1440)));
    QVERIFY(withinAPixel(w.logBox->y(), scaled(7440, to.height(), 900)));
    QVERIFY(qAbs(w.voltageReadout->font().pointSizeF() - 22.0 * to.width() / 1440) < 1e-4);
    QCOMPARE(w.size(), windowSize);
    // Both charts start over with empty frames at the new size.
    QCOMPARE(w.view.chartIndex, qint16(1));
    for (PictureBox* picture : w.charts) {
        const QImage image = picture->image();
        QCOMPARE(image.size(), picture->size());
        QCOMPARE(traced(image), 0);
        QVERIFY(white(image) > 0);
    }
    // The next display tick plots column 1; no tick in between lays out again.
    w.languageCaption->move(0, 0);
    ticks(w, 9);
    QCOMPARE(w.view.chartIndex, qint16(2));
    QCOMPARE(w.languageCaption->pos(), QPoint(0, 0));
    QVERIFY(traced(w.charts[1]->image()) > 0);
}

// A screen change that keeps the pixel counts (here its dots per inch) is
// not noticed: no layout, no chart restart.
void ResolutionTest::unchangedPixelCountChangesNothing() {
    WindowOnFakes f;
    MainWindow& w = windowWithTraces(f);
    const QImage chart = w.charts[0]->image();
    w.languageCaption->move(0, 0);
    f.screen.tpp = 12;
    f.screen.pixels = QSize(1440, 900);
    ticks(w, 5);
    QCOMPARE(w.screenChanged(), qint16(0));
    QCOMPARE(w.view.chartIndex, qint16(3));
    QCOMPARE(w.charts[0]->image(), chart);
    QCOMPARE(w.languageCaption->pos(), QPoint(0, 0));
}

// The bars follow the window's edges, the hidden pane keeps its stored
// geometry and the grid its column widths and heading font.
void ResolutionTest::edgeBarsHiddenControlsAndGridColumnsStay() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.session().pollTick();
    QHeaderView* headings = w.stepGrid->table()->horizontalHeader();
    const auto snapshot = [&] {
        QList<QVariant> s = {w.size(),
                             w.statusBar->geometry(),
                             w.toolBand->geometry(),
                             w.diagnosticPane->geometry(),
                             w.diagnosticPane->isHidden(),
                             w.clearDiagnosticsButton->isHidden(),
                             headings->font().pointSizeF()};
        for (QLabel* panel : w.statusPanels) {
            s.append(panel->geometry());
        }
        for (int column = 1; column <= 3; ++column) {
            s.append(w.stepGrid->table()->columnWidth(column));
        }
        return s;
    };
    const QList<QVariant> before = snapshot();
    QCOMPARE(before.at(3), QVariant(QRect(408, 24, 881, 697)));
    QCOMPARE(before.at(6), QVariant(9.0));
    const QRect grid = w.stepGrid->geometry();

    f.screen.pixels = QSize(1920, 1080);
    w.session().pollTick();
    QCoreApplication::processEvents();
    QVERIFY(w.stepGrid->geometry() != grid);
    QCOMPARE(w.stepGrid->table()->font().pointSizeF(), 12.0);
    QCOMPARE(snapshot(), before);
    QCOMPARE(w.stepGrid->table()->columnWidth(1), 67);
    QCOMPARE(w.stepGrid->table()->columnWidth(3), 59);
}

QTEST_MAIN(ResolutionTest)
#include "test_resolution.moc"
