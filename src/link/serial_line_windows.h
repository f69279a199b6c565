#pragma once

#include "link/line_settings.h"
#include "link/serial_port.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include <windows.h>

// The serial line on a Windows COM port, driven through the Win32 calls
// directly. Qt SerialPort waits for received bytes on an I/O completion
// port, which Wine never completes; here a reader thread of the port's own
// waits for them on an event and gathers them for readAll(). Everything else
// happens on the caller's thread: each character written is handed to the
// driver at once and completes on its own, so a write never waits for the
// line.
//
// A device that fails (a USB adapter pulled, a read or write refused) closes
// the port at once: isOpen() is false from then on, the next readAll()
// reports the failure, and the handle is given back by that call or the next
// write, whichever comes first.
class WindowsSerialPort final : public SerialPort {
public:
    WindowsSerialPort();
    ~WindowsSerialPort() override;
    WindowsSerialPort(const WindowsSerialPort&) = delete;
    WindowsSerialPort& operator=(const WindowsSerialPort&) = delete;

    void setSettings(const QString& settings) override;
    QString devicePath(int portNumber) const override;
    bool open(int portNumber) override;
    OpenFailure lastOpenFailure() const override { return lastFailure_; }
    void close() override;
    bool isOpen() const override;
    std::optional<QByteArray> readAll() override;
    bool write(char c) override;
    void drain(int ms) override;

private:
    // One character on its way to the driver.
    struct PendingWrite {
        PendingWrite();
        ~PendingWrite();
        PendingWrite(const PendingWrite&) = delete;
        PendingWrite& operator=(const PendingWrite&) = delete;

        OVERLAPPED overlapped{};
        char character = 0;
    };

    // Sets the line up on a freshly opened device; Reason::None when it took.
    OpenFailure::Reason configure(HANDLE device) const;
    void readUntilStopped(HANDLE device);
    void keepReceived(const char* bytes, DWORD count);
    // Takes the finished writes off the front; false when one of them failed.
    bool collectFinishedWrites();
    // Gives the handle of a failed device back; the next readAll() reports
    // the failure.
    void noticeDeviceFailure();
    // Stops the reader, abandons unfinished writes and closes the handle.
    void shutDown();

    LineSettings settings_;
    OpenFailure lastFailure_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    // Set to end the reader thread; reset at each open.
    HANDLE stopReading_ = nullptr;
    std::thread reader_;
    std::deque<std::unique_ptr<PendingWrite>> writesUnderWay_;
    // Set by either thread when the device failed; the handle is still held.
    std::atomic<bool> deviceFailed_ = false;
    // The device failed since the last read.
    bool readFailurePending_ = false;

    std::mutex receivedLock_;
    QByteArray received_;
};
