// The measurement log over a day: the cost of a display tick with a 24-hour
// log against an empty one, of a display tick with the log's journal on disk
// against one without, of making the journal durable, and of saving the
// 24-hour log as a record file against a plain write of the same bytes.
//   build/bench/bench_measurement_log
#include "fakes.h"
#include "immutable_entry.h"
#include "measuring.h"
#include "record/log_text.h"
#include "record/measurement_journal.h"
#include "window/log_box.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kLinesPerDay = 86400;

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Drives whole seconds (ten poll ticks, the last one a display tick) and
// returns the nanoseconds of each second's display tick, and of the same
// tick with the repaint it causes.
struct SecondCosts {
    QList<double> tick;
    QList<double> tickAndPaint;
};

SecondCosts displaySeconds(WindowOnFakes& f, int seconds) {
    MainWindow& w = *f.window;
    SecondCosts costs;
    QElapsedTimer timer;
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < 9; ++i) {
            w.session().pollTick();
        }
        QApplication::processEvents();
        f.clock.time = f.clock.time.addSecs(1);
        timer.start();
        w.session().pollTick();
        const double tick = static_cast<double>(timer.nsecsElapsed());
        QApplication::processEvents();
        costs.tick.append(tick);
        costs.tickAndPaint.append(static_cast<double>(timer.nsecsElapsed()));
    }
    return costs;
}

// The window of a test with the link up and a supply reading 12.34 V, 0.567 A.
MainWindow& buildWithReadings(WindowOnFakes& f) {
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.show();
    w.session().state.linkUp = true;
    w.session().state.voltageDigits = QStringLiteral("1234");
    w.session().state.currentDigits = QStringLiteral("0567");
    displaySeconds(f, 2);
    return w;
}

// Milliseconds each sync of a journal takes after one second's line.
QList<double> journalSyncMs(const QString& dir, int count) {
    MeasurementJournal journal;
    QList<double> costs;
    if (!journal.start(dir, QStringLiteral("Velkor\r\nVersion: 1.0\r\n2026-12-6   05:03:09\r\n"))) {
        return costs;
    }
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        journal.append(QStringLiteral("05:03:10          12.34V          0.567A\r\n"));
        timer.start();
        journal.sync();
        costs.append(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    journal.finish(true);
    return costs;
}

// A day's log, appended line by line as the display update appends it.
void fillDay(WindowOnFakes& f) {
    SupplySession& session = *f.session;
    QDateTime moment = f.clock.time;
    for (int line = 0; line < kLinesPerDay; ++line) {
        moment = moment.addSecs(1);
        session.appendLog(QStringLiteral("\r\n") + logMeasurementLine(timeOfDayText(moment.time()),
                                                                      session.state.voltageText,
                                                                      session.state.currentText));
    }
    QApplication::processEvents();
}

// A plain write; with sync, also flushed to the disk as the atomic save of a
// record file does before it renames the file into place.
double plainWriteNs(const QString& path, const QByteArray& bytes, bool sync) {
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        return -1;
    }
    if (sync) {
        fsync(file.handle());
    }
    file.close();
    return static_cast<double>(timer.nsecsElapsed());
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowOnFakes f;
    MainWindow& w = buildWithReadings(f);
    // The same window, but its data folder refuses the journal when the
    // output goes on: the display tick as it was before the journal.
    WindowOnFakes plain;
    MainWindow& p = buildWithReadings(plain);
    {
        ImmutableEntry refusing(plain.programDir());
        if (!refusing.isSet()) {
            std::fprintf(stderr, "the file system here has no immutable attribute\n");
            return 1;
        }
        p.outputButtonClicked();
    }
    if (plain.dialogs.shown.size() != 1) {
        std::fprintf(stderr, "the journal of the plain window did not fail as meant\n");
        return 1;
    }

    const int sample = 300;
    w.outputButtonClicked();
    const SecondCosts empty = displaySeconds(f, sample);
    // Taken in turns, so a change of the machine's load meets both alike.
    QList<double> withJournal;
    QList<double> withoutJournal;
    for (int round = 0; round < 6; ++round) {
        withJournal += displaySeconds(f, sample / 6).tick;
        withoutJournal += displaySeconds(plain, sample / 6).tick;
    }
    const QList<double> syncs = journalSyncMs(f.programDir(), 60);
    fillDay(f);
    const SecondCosts full = displaySeconds(f, sample);
    const qsizetype logLines = w.logBox->text().count(QStringLiteral("\r\n")) + 1;

    QList<double> saves;
    QList<double> writes;
    QList<double> syncedWrites;
    qint64 recordBytes = 0;
    const QString plainPath = f.programDir() + QStringLiteral("/plain.TXT");
    for (int round = 0; round < 5; ++round) {
        // Switching on begins a new log: the day is given to it again.
        switchOn(w);
        fillDay(f);
        QElapsedTimer timer;
        timer.start();
        w.session().stop();
        saves.append(static_cast<double>(timer.nsecsElapsed()));
        const QStringList records =
            QDir(f.programDir() + QStringLiteral("/Record")).entryList(QDir::Files, QDir::Time);
        QFile record(f.programDir() + QStringLiteral("/Record/") + records.value(0));
        if (!record.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "no record file\n");
            return 1;
        }
        const QByteArray bytes = record.readAll();
        recordBytes = bytes.size();
        writes.append(plainWriteNs(plainPath, bytes, false));
        syncedWrites.append(plainWriteNs(plainPath, bytes, true));
    }
    if (!f.dialogs.shown.isEmpty() || syncs.isEmpty()) {
        std::fprintf(stderr, "the save or the journal reported a failure\n");
        return 1;
    }

    std::printf("%-56s %10s %10s\n", "measure", "value", "target");
    std::printf("%-56s %10.3f %10s\n", "display tick, 24-hour log / empty log (median)",
                median(full.tick) / median(empty.tick), "<= 1.5");
    std::printf("%-56s %10.3f %10s\n", "display tick and repaint, 24-hour / empty (median)",
                median(full.tickAndPaint) / median(empty.tickAndPaint), "<= 1.5");
    std::printf("%-56s %10.3f %10s\n", "display tick, with journal / without (median)",
                median(withJournal) / median(withoutJournal), "<= 1.2");
    std::printf("%-56s %10.3f %10s\n", "display tick, with journal / without (90th percentile)",
                percentile(withJournal, 0.9) / percentile(withoutJournal, 0.9), "");
    std::printf("%-56s %10.3f %10s\n", "save of the 24-hour log / plain write (median of 5)",
                median(saves) / median(writes), "");
    std::printf("(display tick %.1f us -> %.1f us, with repaint %.1f us -> %.1f us;\n"
                " %lld log lines, record %.1f MB saved in %.1f ms, plain write %.1f ms,\n"
                " plain write with fsync %.1f ms)\n",
                median(empty.tick) / 1e3, median(full.tick) / 1e3, median(empty.tickAndPaint) / 1e3,
                median(full.tickAndPaint) / 1e3, static_cast<long long>(logLines),
                static_cast<double>(recordBytes) / 1e6, median(saves) / 1e6, median(writes) / 1e6,
                median(syncedWrites) / 1e6);
    std::printf("(display tick with journal %.1f us, without %.1f us; journal sync, once a second "
                "on its own\n"
                " timer, %.2f ms median, %.2f ms 90th percentile, %.2f ms at most of %lld)\n",
                median(withJournal) / 1e3, median(withoutJournal) / 1e3, median(syncs),
                percentile(syncs, 0.9), *std::max_element(syncs.begin(), syncs.end()),
                static_cast<long long>(syncs.size()));
    return 0;
}
