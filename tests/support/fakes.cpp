#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <stdexcept>

bool FakeSerialPort::write(char c) {
    if (written.size() >= writtenLimit) {
        written.remove(0, written.size() - writtenLimit / 2);
    }
    written.append(c);
    return true;
}

bool FakeSerialPort::open(int portNumber) {
    openAttempts.append(portNumber);
    lastFailure = {};
    if (openPort != 0 || !usablePorts.contains(portNumber)) {
        lastFailure =
            failures.value(portNumber, {OpenFailure::Reason::Missing, devicePath(portNumber), {}});
        return false;
    }
    openPort = portNumber;
    return true;
}

void FakeSerialPort::close() {
    if (openPort != 0) {
        ++closeCount;
        if (takenAfterProbe.remove(openPort)) {
            usablePorts.remove(openPort);
        }
    }
    openPort = 0;
}

std::optional<QByteArray> FakeSerialPort::readAll() {
    if (throwOnRead) {
        throw std::runtime_error("read fault");
    }
    if (reads.empty()) {
        return replyWhenIdle;
    }
    const Read next = reads.front();
    reads.pop_front();
    if (next.fails) {
        return std::nullopt;
    }
    return next.bytes;
}

QDateTime FakeClock::now() const {
    if (throwOnNow) {
        throw std::runtime_error("clock fault");
    }
    return time;
}

MainWindow& WindowOnFakes::build() {
    // A new build is a new program: the files the last one kept open close.
    window.reset();
    session.reset();
    records = std::make_unique<RecordWorker>(RecordWorker::Mode::CallersThread);
    const Platform platform{&port,      &clock,     &screen,      &dialogs,
                            dir.path(), dir.path(), records.get()};
    session = std::make_unique<SupplySession>(platform);
    // Tests drive the ticks themselves.
    session->open();
    window = std::make_unique<MainWindow>(*session, platform);
    return *window;
}

void switchOn(MainWindow& w) {
    w.session().state.linkUp = true;
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
}

void ticks(MainWindow& w, int count) {
    for (int i = 0; i < count; ++i) {
        w.session().pollTick();
    }
}

QString recordDir(const WindowOnFakes& f) {
    return f.programDir() + QStringLiteral("/Record");
}

QStringList recordEntries(const WindowOnFakes& f) {
    return recordEntries(f.programDir());
}

QStringList recordEntries(const QString& dataDir) {
    QStringList names =
        QDir(dataDir + QStringLiteral("/Record"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    names.removeIf([](const QString& name) {
        return name.endsWith(QStringLiteral(".csv")) || name.endsWith(QStringLiteral(".png"));
    });
    return names;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
