#pragma once

#include <QByteArray>
#include <QString>

// The supply's end of a pseudo-terminal, played by a test itself for bytes no
// supply would send; the port under test opens the other end.
class PtySupply {
public:
    PtySupply();
    ~PtySupply();
    PtySupply(const PtySupply&) = delete;
    PtySupply& operator=(const PtySupply&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString devicePath() const { return devicePath_; }
    // Links <dir>/ports/com<port> to the line and holds the line up, raw, so it
    // stays up while the program closes and opens its side and nothing is
    // echoed or altered on the way.
    bool linkAsPort(const QString& dir, int port);
    // Writes as much as the line takes now and says how much that was.
    qint64 write(const QByteArray& bytes);
    bool send(const QByteArray& bytes) { return write(bytes) == bytes.size(); }
    // What the port has sent since the last call.
    QByteArray take();
    // Collects what the port sends, running the event loop meanwhile so that
    // its pending writes reach the device; stops at count bytes or when
    // nothing arrived for quietMs.
    QByteArray receive(qsizetype count, int quietMs = 2000);
    // Closes the supply's end: the port sees the line hang up.
    void hangUp();

private:
    int master_ = -1;
    int line_ = -1;
    QString devicePath_;
};
