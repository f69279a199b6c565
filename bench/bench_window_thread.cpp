// The sender's longest pause while the step grid works on the window's
// thread: a 5 ms Qt::PreciseTimer on that thread, as the window's sender,
// notes the gaps between its ticks while the grid imports the largest table
// a run takes over a full table, exports it, reads the most an import reads
// (2 MB of steps, refused for their number), and refuses a 10 MB file. An
// idle event loop and one edited cell (one SQLite commit on the same disk)
// are the baselines. The table lives in a temporary folder. Then the real
// sender of the window's session, character by character as the supply
// would get them, across the window's own work: a language switch, a new
// screen size laid out, and the save of a week's log at a switch-off.
//   build/bench/bench_window_thread
#include "fakes.h"
#include "live_on_fakes.h"
#include "measuring.h"
#include "record/log_text.h"
#include "sequence/step_table_store.h"
#include "window/step_grid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

namespace {

constexpr int kRounds = 5;
const QString kConnection = QStringLiteral("bench-step-table");

// A shown step grid over the step table of a fresh data folder, its
// questions answered yes and its file choosers answered by the bench.
struct GridOnStepTable {
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    std::unique_ptr<QSqlTableModel> model;
    std::unique_ptr<StepGrid> grid;
    int refusedSaves = 0;

    GridOnStepTable() {
        const QString problem = openStepTable(dir.path(), kConnection);
        if (!problem.isEmpty()) {
            qFatal("%s", qPrintable(problem));
        }
        model = std::make_unique<QSqlTableModel>(nullptr, QSqlDatabase::database(kConnection));
        model->setTable(kStepTableName);
        model->setEditStrategy(QSqlTableModel::OnRowChange);
        model->setSort(0, Qt::AscendingOrder);
        model->select();
        grid = std::make_unique<StepGrid>(QStringLiteral("Velkor"));
        grid->setModel(model.get());
        grid->setDialogs(&dialogs);
        QObject::connect(grid.get(), &StepGrid::saveFailed, [this] { ++refusedSaves; });
        grid->resize(225, 530);
        grid->show();
    }
    ~GridOnStepTable() {
        grid.reset();
        model.reset();
        QSqlDatabase::database(kConnection, false).close();
        QSqlDatabase::removeDatabase(kConnection);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    int storedSteps() const {
        QSqlQuery count(QSqlDatabase::database(kConnection));
        count.exec(QStringLiteral("SELECT COUNT(*) FROM ") + kStepTableName);
        return count.next() ? count.value(0).toInt() : -1;
    }
    void waitUntilIdle() const {
        if (!waitFor([this] { return !grid->isTransferring(); }, 120000)) {
            qFatal("the grid's import or export did not end");
        }
    }
};

// Steps as an export writes them.
QByteArray stepsCsv(int count) {
    QByteArray csv = "voltage_V,current_A,hold_time_s\r\n";
    for (int i = 0; i < count; ++i) {
        csv += QStringLiteral("%1.25,%2.5,%3\r\n").arg(i % 31).arg(i % 5).arg(i).toUtf8();
    }
    return csv;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// What the grid is made to do; each returns once the grid is idle again.

void importSteps(GridOnStepTable& g, const QString& path) {
    g.dialogs.fileToOpen = path;
    g.grid->importSteps();
    g.waitUntilIdle();
}

void exportSteps(GridOnStepTable& g, const QString& path) {
    g.dialogs.fileToSave = path;
    g.grid->exportSteps();
    g.waitUntilIdle();
}

void editOneCell(GridOnStepTable& g, int round) {
    g.model->setData(g.model->index(0, 1), 10 + round);
    g.grid->saveEdits();
}

// A 5 ms precise timer on this thread, as the window's sender, and the two
// longest gaps between its ticks: a transfer's one commit to disk cannot be
// sliced, so the second longest shows what the slices leave.
class SenderTicks {
public:
    SenderTicks() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const qint64 gapNs = now - lastNs_;
            if (gapNs > longestNs_) {
                secondLongestNs_ = std::exchange(longestNs_, gapNs);
            } else {
                secondLongestNs_ = qMax(secondLongestNs_, gapNs);
            }
            lastNs_ = now;
        });
    }
    struct Figures {
        double longestGapMs;
        double secondLongestGapMs;
        double workMs;
    };
    // The event loop runs before and after the work as it does in the
    // program; the work runs the loop itself while it waits for the grid.
    Figures across(const std::function<void()>& work) {
        clock_.start();
        lastNs_ = 0;
        longestNs_ = 0;
        secondLongestNs_ = 0;
        timer_.start();
        runFor(50);
        QElapsedTimer workClock;
        workClock.start();
        work();
        const double workMs = double(workClock.nsecsElapsed()) / 1e6;
        runFor(50);
        timer_.stop();
        return {double(longestNs_) / 1e6, double(secondLongestNs_) / 1e6, workMs};
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 longestNs_ = 0;
    qint64 secondLongestNs_ = 0;
};

void measure(const char* what, SenderTicks& sender, const std::function<void(int)>& work) {
    QList<double> longestMs;
    QList<double> secondLongestMs;
    QList<double> workMs;
    for (int round = 0; round < kRounds; ++round) {
        const SenderTicks::Figures figures = sender.across([&] { work(round); });
        longestMs << figures.longestGapMs;
        secondLongestMs << figures.secondLongestGapMs;
        workMs << figures.workMs;
    }
    std::printf("%-40s %9.1f %9.1f %9.1f %9.1f\n", what,
                *std::max_element(longestMs.begin(), longestMs.end()), percentile(longestMs, 0.5),
                percentile(secondLongestMs, 0.5), percentile(workMs, 0.5));
}

// The longest pause between two characters the session's sender wrote while
// the work ran and the second after it, when a display tick shows its result.
double longestSenderPauseMs(LiveOnFakes& live, const std::function<void()>& work) {
    runFor(300);
    const qint64 from = live.port.clock.nsecsElapsed();
    work();
    runFor(1500);
    return double(live.port.longestPause(from, live.port.clock.nsecsElapsed())) / 1e6;
}

// prepare runs before the span measured.
void measureWindow(
    const char* what, LiveOnFakes& live, const std::function<void(int)>& work,
    const std::function<void()>& prepare = [] {}) {
    QList<double> pausesMs;
    for (int round = 0; round < kRounds; ++round) {
        prepare();
        pausesMs << longestSenderPauseMs(live, [&] { work(round); });
    }
    std::printf("%-40s %9.1f %9.1f\n", what, *std::max_element(pausesMs.begin(), pausesMs.end()),
                percentile(pausesMs, 0.5));
}

QString weekOfLogLines() {
    const QString line = QStringLiteral("\r\n") + logMeasurementLine(QStringLiteral("05:03:09"),
                                                                     QStringLiteral("12.00V"),
                                                                     QStringLiteral("1.200A"));
    QString text;
    text.reserve(7 * 86400 * line.size());
    for (int i = 0; i < 7 * 86400; ++i) {
        text += line;
    }
    return text;
}

void measureTheWindowsOwnWork() {
    LiveOnFakes live(DiskCalls::real());
    std::printf("\nThe session's sender, character by character, %d rounds each; ms\n", kRounds);
    std::printf("%-40s %9s %9s\n", "", "longest", "median");
    measureWindow("idle", live, [](int) {});
    measureWindow("language switched", live, [&](int round) {
        live.window.languageList->setCurrentIndex((round + 1) % 2);
        live.window.languageChosen();
    });
    measureWindow("screen size changed, laid out anew", live, [&](int round) {
        live.screen.pixels = round % 2 == 0 ? QSize(1024, 768) : QSize(1440, 900);
    });
    const QString week = weekOfLogLines();
    // The week's lines reach the log before the span: the display tick adds
    // them one a second.
    measureWindow(
        "switch-off saving a week's log", live,
        [&](int) {
            live.window.outputButtonClicked();
            waitFor([&] { return live.records.waitUntilIdle(0); }, 60000);
        },
        [&] {
            live.window.outputButtonClicked();
            live.session.appendLog(week);
            runFor(300);
        });
    if (!live.dialogs.shown.isEmpty()) {
        std::printf("a save failed: %s\n", qPrintable(live.dialogs.shown.first().text));
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    GridOnStepTable g;
    const QString largest = g.path("largest.csv");
    writeFile(largest, stepsCsv(kMostSteps));
    const QString tenMegabytes = g.path("ten_megabytes.csv");
    QByteArray tenMegabytesOfSteps;
    while (tenMegabytesOfSteps.size() < 10 * 1024 * 1024) {
        tenMegabytesOfSteps += stepsCsv(kMostSteps);
    }
    writeFile(tenMegabytes, tenMegabytesOfSteps.left(10 * 1024 * 1024));
    // The most an import reads: every line is parsed before the count of
    // steps refuses the file.
    const QString twoMegabytes = g.path("two_megabytes.csv");
    writeFile(twoMegabytes,
              tenMegabytesOfSteps.left(tenMegabytesOfSteps.lastIndexOf('\n', 2 * 1024 * 1024) + 1));
    importSteps(g, largest);
    SenderTicks sender;

    std::printf("The sender's 5 ms ticks on the grid's thread, %d rounds each; ms\n", kRounds);
    std::printf("%-40s %9s %9s %9s %9s\n", "", "longest", "median", "median", "median");
    std::printf("%-40s %9s %9s %9s %9s\n", "", "gap", "longest", "2nd", "work");
    measure("idle event loop", sender, [](int) {});
    measure("one cell edited and saved", sender, [&](int round) { editOneCell(g, round); });
    measure("import of 32767 rows over 32767 rows", sender, [&](int) { importSteps(g, largest); });
    measure("export of 32767 rows", sender, [&](int) { exportSteps(g, g.path("exported.csv")); });
    measure("import of 2 MB of steps (too many)", sender,
            [&](int) { importSteps(g, twoMegabytes); });
    measure("refusal of a 10 MB file", sender, [&](int) { importSteps(g, tenMegabytes); });

    // Figures of work that went wrong would mislead.
    std::printf("\ntable holds %d steps; export equals the imported file: %s; questions "
                "asked %lld (%d expected); messages %lld (%d expected); saves refused %d\n",
                g.storedSteps(),
                fileBytes(g.path("exported.csv")) == fileBytes(largest) ? "yes" : "no",
                qlonglong(g.dialogs.asked.size()), kRounds, qlonglong(g.dialogs.shown.size()),
                2 * kRounds, g.refusedSaves);
    measureTheWindowsOwnWork();
    return 0;
}
