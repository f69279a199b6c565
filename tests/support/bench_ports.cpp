#include "bench_ports.h"

const QByteArray BenchPorts::kAnswer = "VKPPSU0500A0100W";

namespace {

const QByteArray kTag = "VKPPSU";

QList<QByteArray> wholeFramesIn(const QByteArray& line) {
    QList<QByteArray> frames;
    qsizetype tag = line.indexOf(kTag);
    while (tag >= 0) {
        const qsizetype next = line.indexOf(kTag, tag + 1);
        if (tag + 16 <= line.size() && (next < 0 || next >= tag + 16)) {
            frames.append(line.mid(tag, 16));
        }
        tag = next;
    }
    return frames;
}

} // namespace

BenchPorts::BenchPorts() {
    paths = {{1, QStringLiteral("/dev/ttyS0")},
             {13, QStringLiteral("/dev/ttyUSB2")},
             {14, QStringLiteral("/dev/ttyUSB1")},
             {15, QStringLiteral("/dev/ttyUSB0")},
             {16, QStringLiteral("/dev/bench/com16")}};
}

void BenchPorts::vanish(const QString& path) {
    devices.remove(path);
    if (path == openPath_) {
        fail();
    }
}

bool BenchPorts::endsWithOffFrame(const QString& path) const {
    const QList<QByteArray> frames = wholeFramesIn(received.value(path));
    return frames.isEmpty() || frames.last().endsWith('N');
}

bool BenchPorts::everTookOnFrame(const QString& path) const {
    const QList<QByteArray> frames = wholeFramesIn(received.value(path));
    return std::any_of(frames.begin(), frames.end(),
                       [](const QByteArray& frame) { return frame.endsWith('O'); });
}

bool BenchPorts::open(int portNumber) {
    close();
    lastFailure_ = {};
    const QString path = paths.value(portNumber);
    if (path.isEmpty() || devices.value(path, Device::Absent) == Device::Absent) {
        lastFailure_ = {OpenFailure::Reason::Missing, path, {}};
        return false;
    }
    openPath_ = path;
    openingWritten_ = 0;
    return true;
}

void BenchPorts::close() {
    if (!openPath_.isEmpty() && openingWritten_ % 16 != 0) {
        closedMidFrame.append(openPath_);
    }
    if (!openPath_.isEmpty() && closedByProgram) {
        closedByProgram(openPath_);
    }
    openPath_.clear();
    failurePending_ = false;
}

bool BenchPorts::isOpen() const {
    return !openPath_.isEmpty();
}

void BenchPorts::fail() {
    openPath_.clear();
    failurePending_ = true;
}

std::optional<QByteArray> BenchPorts::readAll() {
    if (!openPath_.isEmpty() && std::exchange(failNextRead, false)) {
        fail();
    }
    if (std::exchange(failurePending_, false)) {
        return std::nullopt;
    }
    if (openPath_.isEmpty() || devices.value(openPath_) != Device::Supply) {
        return QByteArray();
    }
    if (replyRead) {
        replyRead(openPath_);
    }
    return answers.value(openPath_, kAnswer);
}

bool BenchPorts::write(char c) {
    if (!openPath_.isEmpty() && std::exchange(failNextWrite, false)) {
        fail();
    }
    if (openPath_.isEmpty()) {
        return false;
    }
    if (openingWritten_++ == 0 && c != kTag.front()) {
        startedMidFrame.append(openPath_);
    }
    QByteArray& line = received[openPath_];
    line.append(c);
    ++writtenCount;
    const qsizetype start = line.size() - 16;
    if (start >= 0 && line.mid(start, kTag.size()) == kTag && line.indexOf(kTag, start + 1) < 0 &&
        frameTaken) {
        frameTaken(openPath_, line.mid(start));
    }
    return true;
}
