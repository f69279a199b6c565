#pragma once

#include "link/serial_port.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

// The serial ports of a real bench PC: port numbers lead to device paths
// (a motherboard ttyS0, USB adapters), and behind a path there may be a
// supply that answers, a device that listens and never answers, or nothing.
// Devices can vanish and come back, at the same path or another, and reads
// and writes can fail. Everything written is kept per path, and the test
// hears of every whole frame a device takes.
class BenchPorts : public SerialPort {
public:
    enum class Device {
        Absent,
        Supply,   // answers a reply block at every read
        Listener, // takes everything, answers nothing
    };

    BenchPorts();

    // The device path of each port number; other numbers have no node.
    QMap<int, QString> paths;
    QMap<QString, Device> devices;
    // What a supply at a path answers; kAnswer when not set.
    QMap<QString, QByteArray> answers;
    // Everything each path took, over all its openings.
    QMap<QString, QByteArray> received;
    // Characters all devices took so far: a moment on the line.
    qsizetype writtenCount = 0;
    // Paths whose opening began with the tail of a frame, or that the
    // program closed with a frame cut short.
    QStringList startedMidFrame;
    QStringList closedMidFrame;

    // A device took a whole frame: a tag and the 15 characters after it.
    std::function<void(const QString& path, const QByteArray& frame)> frameTaken;
    // The program read a reply from the supply at the path.
    std::function<void(const QString& path)> replyRead;
    // The program closed the port on the path itself.
    std::function<void(const QString& path)> closedByProgram;

    // The next read, or the next write, on the open port fails.
    bool failNextRead = false;
    bool failNextWrite = false;

    // The device at the path goes away (an adapter pulled); a port open on
    // it fails.
    void vanish(const QString& path);
    void place(const QString& path, Device device) { devices[path] = device; }
    QString openPath() const { return openPath_; }
    // Whether the last whole frame the path took switches the output off;
    // true for a path that never took one.
    bool endsWithOffFrame(const QString& path) const;
    bool everTookOnFrame(const QString& path) const;

    void setSettings(const QString&) override {}
    QString devicePath(int portNumber) const override { return paths.value(portNumber); }
    bool open(int portNumber) override;
    OpenFailure lastOpenFailure() const override { return lastFailure_; }
    void close() override;
    bool isOpen() const override;
    std::optional<QByteArray> readAll() override;
    bool write(char c) override;
    void drain(int) override {}

    static const QByteArray kAnswer;

private:
    // A device error: the port lets go of the device and is closed.
    void fail();

    QString openPath_;
    bool failurePending_ = false;
    // Characters written in this opening.
    qsizetype openingWritten_ = 0;
    OpenFailure lastFailure_;
};
