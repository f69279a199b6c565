#include "fakes.h"
#include "window/picture_box.h"

#include <QtTest>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kRed = qRgb(255, 0, 0);

// Grid positions in pixels on the 1440 x 900 screen (15 twips per pixel):
// value lines at 2500 - 400 k twips, column lines at 700 + 800 k twips.
const QList<int> kGridRows = {33, 60, 87, 113, 140, 167};
const QList<int> kGridColumns = {47, 100, 153, 207, 260, 313, 367, 420, 473, 527, 580};
const int kZeroRow = 167;

// Display ticks are every tenth poll tick.
void displayTicks(MainWindow& w, int count) {
    for (int i = 0; i < 10 * count; ++i) {
        w.session().pollTick();
    }
}

int count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixel(x, y) == colour;
        }
    }
    return n;
}

int countInRow(const QImage& image, int y, QRgb colour) {
    int n = 0;
    for (int x = 0; x < image.width(); ++x) {
        n += image.pixel(x, y) == colour;
    }
    return n;
}

int countInColumn(const QImage& image, int x, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        n += image.pixel(x, y) == colour;
    }
    return n;
}

// Rows (or columns) that hold a dotted grid line: far more white pixels than
// a row of axis numbers has.
QList<int> gridRows(const QImage& image) {
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (countInRow(image, y, kWhite) > 100) {
            rows.append(y);
        }
    }
    return rows;
}

QList<int> gridColumns(const QImage& image) {
    QList<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (countInColumn(image, x, kWhite) > 30) {
            columns.append(x);
        }
    }
    return columns;
}

// Text is smoothed: its pixels are white or a light grey on the background.
bool isLight(QRgb pixel) {
    return qRed(pixel) > 128 && qGreen(pixel) > 128 && qBlue(pixel) > 128;
}

// Leftmost text or line pixel within a band of rows, or -1.
int leftmostLight(const QImage& image, int top, int bottom) {
    for (int x = 0; x < image.width(); ++x) {
        for (int y = top; y <= bottom; ++y) {
            if (isLight(image.pixel(x, y))) {
                return x;
            }
        }
    }
    return -1;
}

// A window whose first tick has drawn the empty frames, with the link up so
// the output button works, and the output switched on. The supply counts as
// having just answered: with no port open, no read makes the readings stale.
MainWindow& windowWithOutputOn(WindowOnFakes& f) {
    MainWindow& w = f.build();
    w.session().pollTick();
    w.session().state.linkUp = true;
    w.session().state.readsSinceReply = 0;
    w.outputButtonClicked();
    return w;
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void frameHasGridNumbersAndUnitLetters();
    void sweepCyclesOver101DisplayTicks();
    void firstDisplayTickAfterStartPlotsColumnOne();
    void stepTracesAtTheirPixels();
    void secondsWithoutAReadingLeaveAGap_data();
    void secondsWithoutAReadingLeaveAGap();
    void outputOffPausesTheSweepAndKeepsTheTraces();
    void switchingOnRestartsTheSweep();
    void drawingSurvivesRepaintAndLaterDrawing();
};

void ChartTest::frameHasGridNumbersAndUnitLetters() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.session().pollTick();
    for (int i = 0; i < 2; ++i) {
        const QImage image = w.charts[i]->image();
        QCOMPARE(image.size(), QSize(665, 209));
        QCOMPARE(gridRows(image), kGridRows);
        QCOMPARE(gridColumns(image), kGridColumns);
        QCOMPARE(count(image, kGreen) + count(image, kRed), 0);
        // Dotted: a grid line leaves gaps along its length.
        const int zeroLine = countInRow(image, kZeroRow, kWhite);
        QVERIFY2(zeroLine > 150 && zeroLine < 400, QByteArray::number(zeroLine));
        // Axis numbers start after a blank: the value numbers' top-left is at
        // 200 twips (pixel 13), the first digit one blank further on.
        const int blank = QFontMetrics(w.charts[i]->font()).horizontalAdvance(QLatin1Char(' '));
        const int numberLeft = leftmostLight(image, 0, kZeroRow - 1);
        QVERIFY2(numberLeft >= 13 + blank && numberLeft < 13 + blank + 4,
                 QByteArray::number(numberLeft));
        // The unit letter stands below the value numbers, at 2700 twips.
        QVERIFY(leftmostLight(image, 180, 195) >= 13);
        QVERIFY(leftmostLight(image, 180, 195) < 30);
    }
    // The current chart's numbers are a tenth of the voltage chart's: "50"
    // is wider than "5" at the top line.
    const QImage voltage = w.charts[0]->image();
    const QImage current = w.charts[1]->image();
    const auto widthOfTopNumber = [](const QImage& image) {
        int right = -1;
        for (int y = 20; y < 33; ++y) {
            for (int x = 0; x < 40; ++x) {
                if (isLight(image.pixel(x, y))) {
                    right = qMax(right, x);
                }
            }
        }
        return right;
    };
    QVERIFY(widthOfTopNumber(voltage) > widthOfTopNumber(current) + 3);
    // "V" and "A" differ.
    const QRect unitLetter(13, 180, 15, 16);
    QVERIFY(voltage.copy(unitLetter) != current.copy(unitLetter));
}

void ChartTest::sweepCyclesOver101DisplayTicks() {
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    QCOMPARE(w.view.chartIndex, qint16(0));
    QList<qint16> seen;
    for (int tick = 0; tick < 102; ++tick) {
        displayTicks(w, 1);
        seen.append(w.view.chartIndex);
    }
    QList<qint16> expected;
    for (qint16 i = 1; i <= 100; ++i) {
        expected.append(i);
    }
    expected << 0 << 1;
    QCOMPARE(seen, expected);
}

void ChartTest::firstDisplayTickAfterStartPlotsColumnOne() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QCOMPARE(w.view.chartIndex, qint16(0));
    w.session().pollTick();
    QCOMPARE(w.view.chartIndex, qint16(1));
    // Switching on starts a new sweep: its frame first, then the traces.
    switchOn(w);
    w.session().state.readsSinceReply = 0;
    QCOMPARE(w.view.chartIndex, 0);
    displayTicks(w, 1);
    QCOMPARE(w.view.chartIndex, 1);
    displayTicks(w, 1);
    QCOMPARE(w.view.chartIndex, 2);
    QVERIFY(count(w.charts[0]->image(), kGreen) > 0);
}

// 12.34 V and 2.5 A after 0 V and 0 A: the edges rise at column 0 (pixel 47)
// from the zero line to 2006.4 twips (pixel 134) and 1500 twips (pixel 100),
// and the levels run on to column 1 (780 twips, pixel 52).
void ChartTest::stepTracesAtTheirPixels() {
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    displayTicks(w, 1);
    w.session().state.voltageDigits = QStringLiteral("1234");
    w.session().state.currentDigits = QStringLiteral("2500");
    displayTicks(w, 1);
    QCOMPARE(w.view.chartIndex, qint16(2));

    struct Chart {
        QImage image;
        QRgb colour;
        int level;
    };
    const std::array<Chart, 2> charts = {
        {{w.charts[0]->image(), kGreen, 134}, {w.charts[1]->image(), kRed, 100}}};
    for (const Chart& c : charts) {
        QSet<QPair<int, int>> expected;
        for (int y = c.level; y <= kZeroRow; ++y) {
            expected.insert({47, y});
        }
        for (int x = 47; x <= 52; ++x) {
            expected.insert({x, c.level});
        }
        QSet<QPair<int, int>> drawn;
        for (int y = 0; y < c.image.height(); ++y) {
            for (int x = 0; x < c.image.width(); ++x) {
                if (c.image.pixel(x, y) == c.colour) {
                    drawn.insert({x, y});
                }
            }
        }
        QCOMPARE(drawn, expected);
    }
    QCOMPARE(count(charts[0].image, kRed), 0);
    QCOMPARE(count(charts[1].image, kGreen), 0);

    // A level that stays draws on at the same row, without marks beside it.
    displayTicks(w, 1);
    const QImage voltage = w.charts[0]->image();
    for (int x = 47; x <= 57; ++x) {
        QCOMPARE(voltage.pixel(x, 134), kGreen);
        QVERIFY(voltage.pixel(x, 133) != kGreen);
    }
    for (int x = 48; x <= 57; ++x) {
        QVERIFY(voltage.pixel(x, 135) != kGreen);
    }
    QVERIFY(voltage.pixel(58, 134) != kGreen);
}

void ChartTest::secondsWithoutAReadingLeaveAGap_data() {
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<QString>("digits");
    QTest::newRow("silent: the last reading kept") << true << "1000";
    QTest::newRow("link lost: zeros") << false << "0000";
}

// 10 V and 1 A (pixel row 140) in columns 1-2, three seconds without a
// reading (columns 3-5), the readings back in columns 6-7. Each trace is the
// level of columns 0-2 and 5-7 and nothing else: no level in the gap, no
// edge down into it or up out of it.
void ChartTest::secondsWithoutAReadingLeaveAGap() {
    QFETCH(bool, linkUp);
    QFETCH(QString, digits);
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    SessionState& state = w.session().state;
    const auto seconds = [&](int count, bool live, const QString& shown) {
        state.linkUp = live || linkUp;
        state.readsSinceReply = live ? 0 : 2;
        state.voltageDigits = state.currentDigits = shown;
        displayTicks(w, count);
    };
    seconds(3, true, QStringLiteral("1000"));
    seconds(3, false, digits);
    seconds(2, true, QStringLiteral("1000"));
    QCOMPARE(w.view.chartIndex, qint16(8));

    const auto pixelX = [](int column) { return qRound((700 + 80 * column) / 15.0); };
    for (const auto& [image, colour] :
         {std::pair{w.charts[0]->image(), kGreen}, std::pair{w.charts[1]->image(), kRed}}) {
        QSet<QPair<int, int>> drawn;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == colour) {
                    drawn.insert({x, y});
                }
            }
        }
        QSet<QPair<int, int>> expected;
        for (const auto& [first, last] : {std::pair{0, 2}, std::pair{5, 7}}) {
            for (int x = pixelX(first); x <= pixelX(last); ++x) {
                expected.insert({x, 140});
            }
        }
        QCOMPARE(drawn, expected);
    }
}

void ChartTest::outputOffPausesTheSweepAndKeepsTheTraces() {
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    w.session().state.voltageDigits = QStringLiteral("1000");
    displayTicks(w, 6);
    QCOMPARE(w.view.chartIndex, qint16(6));
    const QImage before = w.charts[0]->image();
    QVERIFY(count(before, kGreen) > 0);

    w.outputButtonClicked();
    QVERIFY(!w.session().outputOn());
    w.session().state.voltageDigits = QStringLiteral("3000");
    displayTicks(w, 5);
    QCOMPARE(w.view.chartIndex, qint16(6));
    QCOMPARE(w.charts[0]->image(), before);
}

// The next display tick erases the old sweep and draws the frame; the one
// after plots column 1, from the value of the tick before.
void ChartTest::switchingOnRestartsTheSweep() {
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    w.session().state.voltageDigits = QStringLiteral("2000");
    displayTicks(w, 20);
    w.outputButtonClicked();
    displayTicks(w, 3);
    QCOMPARE(w.view.chartIndex, qint16(20));

    w.outputButtonClicked();
    QCOMPARE(w.view.chartIndex, qint16(0));
    displayTicks(w, 1);
    QCOMPARE(w.view.chartIndex, qint16(1));
    QCOMPARE(count(w.charts[0]->image(), kGreen), 0);
    QCOMPARE(gridRows(w.charts[0]->image()), kGridRows);

    w.session().state.voltageDigits = QStringLiteral("1000");
    displayTicks(w, 1);
    QCOMPARE(w.view.chartIndex, qint16(2));
    const QImage image = w.charts[0]->image();
    // From 20 V (pixel 113) down to 10 V (pixel 140) at column 0.
    QCOMPARE(image.pixel(47, 120), kGreen);
    QCOMPARE(image.pixel(50, 140), kGreen);
    QVERIFY(image.pixel(60, 140) != kGreen);
}

void ChartTest::drawingSurvivesRepaintAndLaterDrawing() {
    WindowOnFakes f;
    MainWindow& w = windowWithOutputOn(f);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    displayTicks(w, 1);
    w.session().state.voltageDigits = QStringLiteral("1234");
    displayTicks(w, 1);
    w.session().state.voltageDigits = QStringLiteral("0500");
    displayTicks(w, 10);

    // Something covers the chart and goes away again.
    QWidget cover(&w);
    cover.setAutoFillBackground(true);
    cover.setGeometry(w.charts[0]->geometry());
    cover.show();
    QCoreApplication::processEvents();
    cover.hide();
    w.charts[0]->repaint();

    const QImage shown = w.charts[0]->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, w.charts[0]->image());
    // The first column (12.34 V) is still there after ten more, and so is the
    // 5 V level at column 10 (pixel 100, row 153).
    QCOMPARE(shown.pixel(50, 134), kGreen);
    QCOMPARE(shown.pixel(47, 150), kGreen);
    QCOMPARE(shown.pixel(100, 153), kGreen);
    QCOMPARE(gridRows(shown), kGridRows);
}

QTEST_MAIN(ChartTest)
#include "test_chart.moc"
