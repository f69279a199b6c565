#pragma once

#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "record/record_worker.h"
#include "session/supply_session.h"
#include "window/main_window.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

// A serial line whose ports, reads and writes the test decides.
class FakeSerialPort : public SerialPort {
public:
    QString settings;
    QSet<int> usablePorts;
    // Ports that pass the probe once and then refuse to open (taken meanwhile).
    QSet<int> takenAfterProbe;
    QList<int> openAttempts;
    // Why these ports fail to open; any other port that fails has no device.
    QMap<int, OpenFailure> failures;
    OpenFailure lastFailure;
    int openPort = 0;
    int closeCount = 0;
    struct Read {
        QByteArray bytes;
        bool fails = false;
    };
    // Each read takes the next entry. An empty queue reads as nothing arrived.
    std::deque<Read> reads;
    void queueRead(const QByteArray& bytes) { reads.push_back({bytes, false}); }
    void queueFailedRead() { reads.push_back({{}, true}); }
    QByteArray written;
    // Makes every read throw, as a fault deep inside a tick would.
    bool throwOnRead = false;
    // What a read brings when nothing is queued: a supply that answers.
    QByteArray replyWhenIdle;
    // Keeps only the newest written characters beyond this many.
    qsizetype writtenLimit = 1 << 20;

    void setSettings(const QString& s) override { settings = s; }
    // How the devices are named: "COM%1" names them as Windows does.
    QString deviceNames = QStringLiteral("/dev/fake%1");

    QString devicePath(int portNumber) const override { return deviceNames.arg(portNumber); }
    bool open(int portNumber) override;
    OpenFailure lastOpenFailure() const override { return lastFailure; }
    void close() override;
    bool isOpen() const override { return openPort != 0; }
    std::optional<QByteArray> readAll() override;
    bool write(char c) override;
    void drain(int) override {}
};

class FakeClock : public Clock {
public:
    QDateTime time = QDateTime(QDate(2026, 12, 6), QTime(5, 3, 9));
    // Makes every reading throw, as a fault inside a later step of a tick would.
    bool throwOnNow = false;
    QDateTime now() const override;
    // Moves the clock on instead of waiting.
    void sleepMs(int ms) override { time = time.addMSecs(ms); }
};

class FakeScreen : public Screen {
public:
    QSize pixels{1440, 900};
    double tpp = 15.0;
    QSize sizeInPixels() const override { return pixels; }
    double twipsPerPixelX() const override { return tpp; }
    double twipsPerPixelY() const override { return tpp; }
    QRect availableGeometry() const override { return QRect(QPoint(0, 0), pixels); }
};

struct ShownMessage {
    QString text;
    QString title;
};

// Records every box; questions and file choosers get the answers the test
// arranged, at once.
class RecordingDialogs : public Dialogs {
public:
    QList<ShownMessage> shown;
    // Boxes the program closed by itself, in order.
    QList<ShownMessage> closedByProgram;
    QList<ShownMessage> asked;
    bool answerYes = true;
    // The file the operator picks; empty cancels.
    QString fileToOpen;
    QString fileToSave;
    QStringList chooserTitles;
    void message(const QString& text, const QString& title) override {
        shown.append({text, title});
    }
    void closeMessage(const QString& text, const QString& title) override {
        closedByProgram.append({text, title});
    }
    void ask(const QString& text, const QString& title, std::function<void()> yes) override {
        asked.append({text, title});
        if (answerYes) {
            yes();
        }
    }
    void chooseFileToOpen(const QString& title, const QString&,
                          std::function<void(const QString&)> chosen) override {
        chooserTitles.append(title);
        if (!fileToOpen.isEmpty()) {
            chosen(fileToOpen);
        }
    }
    void chooseFileToSave(const QString& title, const QString&, const QString&,
                          std::function<void(const QString&)> chosen) override {
        chooserTitles.append(title);
        if (!fileToSave.isEmpty()) {
            chosen(fileToSave);
        }
    }
};

// A window on fakes in a fresh program directory. Build the window after
// arranging the fakes (and files in the directory) as the test needs.
struct WindowOnFakes {
    QTemporaryDir dir;
    FakeSerialPort port;
    FakeClock clock;
    FakeScreen screen;
    RecordingDialogs dialogs;
    // Writes files at once, in the tick or handler that asks.
    std::unique_ptr<RecordWorker> records;
    std::unique_ptr<SupplySession> session;
    std::unique_ptr<MainWindow> window;

    QString programDir() const { return dir.path(); }
    MainWindow& build();
};

// Runs this many poll ticks.
void ticks(MainWindow& w, int count);

// Switches the output on as an operator would, with the supply taken as
// answering.
void switchOn(MainWindow& w);

// The record directory of the window's program directory, and what is in it.
QString recordDir(const WindowOnFakes& f);
QStringList recordEntries(const WindowOnFakes& f);
// What is in the record folder of a data folder, hidden entries too, but
// the records' spreadsheets and pictures.
QStringList recordEntries(const QString& dataDir);
// A file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString& path);

// A test main for tests that compare log lines whole: the system's time of
// day then takes the plain 24-hour form of the C locale.
#define VELKOR_TEST_MAIN_IN_C_LOCALE(TestClass)                                                    \
    int main(int argc, char** argv) {                                                              \
        qputenv("LC_ALL", "C.UTF-8");                                                              \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
