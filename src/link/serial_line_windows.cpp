#include "link/serial_line_windows.h"

#include "link/port_map.h"

#include <QDeadlineTimer>

#include <string>
#include <utility>

namespace {

// Characters handed to the driver and not yet sent. The window sends 200 a
// second and a 9600-baud line takes 960, so this only fills when the line
// is held up; beyond it characters are refused, as a full transmit buffer
// refuses them.
constexpr std::size_t kMaxWritesUnderWay = 1024;

// Characters held between two reads, a second apart. The supply sends well
// under 1000 a second; a flood beyond this waits in the driver instead of
// growing memory.
constexpr qsizetype kMaxPendingRead = 64 * 1024;

// A read returns once the line has been quiet this long after a character:
// a reply arrives in one piece, and is still handed over within a poll.
constexpr DWORD kReadGapMs = 5;

// How long the reader rests when the buffer is full or a read brought
// nothing, so that neither can keep a core busy.
constexpr DWORD kReaderRestMs = 20;

constexpr DWORD kReadChunkBytes = 512;

// The driver's own buffers, a request it may round or ignore.
constexpr DWORD kDriverBufferBytes = 4096;

BYTE parityCode(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::None:
        break;
    case LineSettings::Parity::Even:
        return EVENPARITY;
    case LineSettings::Parity::Odd:
        return ODDPARITY;
    }
    return NOPARITY;
}

BYTE stopBitsCode(LineSettings::StopBits stopBits) {
    switch (stopBits) {
    case LineSettings::StopBits::One:
        break;
    case LineSettings::StopBits::OneAndHalf:
        return ONE5STOPBITS;
    case LineSettings::StopBits::Two:
        return TWOSTOPBITS;
    }
    return ONESTOPBIT;
}

// Windows refuses a port another program has open with "access denied".
OpenFailure::Reason reasonForOpenError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OpenFailure::Reason::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return OpenFailure::Reason::InUse;
    default:
        return OpenFailure::Reason::Other;
    }
}

} // namespace

WindowsSerialPort::PendingWrite::PendingWrite() {
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WindowsSerialPort::PendingWrite::~PendingWrite() {
    if (overlapped.hEvent)
        CloseHandle(overlapped.hEvent);
}

WindowsSerialPort::WindowsSerialPort()
    : stopReading_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WindowsSerialPort::~WindowsSerialPort() {
    shutDown();
    if (stopReading_)
        CloseHandle(stopReading_);
}

void WindowsSerialPort::setSettings(const QString& settings) {
    settings_ = parseLineSettings(settings);
}

QString WindowsSerialPort::devicePath(int portNumber) const {
    return portDevicePath(portNumber, {});
}

bool WindowsSerialPort::open(int portNumber) {
    close();
    lastFailure_ = {};
    const QString device = devicePath(portNumber);
    lastFailure_.device = device;
    if (device.isEmpty() || !stopReading_) {
        lastFailure_.reason =
            device.isEmpty() ? OpenFailure::Reason::Missing : OpenFailure::Reason::Other;
        return false;
    }
    // The \\.\ prefix reaches COM10 and above, which have no DOS name.
    const std::wstring path = (QStringLiteral("\\\\.\\") + device).toStdWString();
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastFailure_.reason = reasonForOpenError(GetLastError());
        return false;
    }
    if (const OpenFailure::Reason refused = configure(handle);
        refused != OpenFailure::Reason::None) {
        CloseHandle(handle);
        lastFailure_.reason = refused;
        return false;
    }
    ResetEvent(stopReading_);
    device_ = handle;
    reader_ = std::thread([this, handle] { readUntilStopped(handle); });
    lastFailure_ = {};
    return true;
}

OpenFailure::Reason WindowsSerialPort::configure(HANDLE device) const {
    DCB line{};
    line.DCBlength = sizeof line;
    // A device that has no line state to give is no serial port.
    if (!GetCommState(device, &line))
        return OpenFailure::Reason::Missing;
    line.BaudRate = DWORD(settings_.baudRate);
    line.ByteSize = BYTE(settings_.dataBits);
    line.Parity = parityCode(settings_.parity);
    line.fParity = settings_.parity != LineSettings::Parity::None;
    line.StopBits = stopBitsCode(settings_.stopBits);
    line.fBinary = TRUE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    // A line error must not stop every later read until it is cleared.
    line.fAbortOnError = FALSE;
    // DTR and RTS up, as a POSIX serial device raises them when opened.
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(device, &line))
        return OpenFailure::Reason::Other;
    // Only advice to the driver: one that keeps its own sizes still works.
    SetupComm(device, kDriverBufferBytes, kDriverBufferBytes);
    // A read waits for its first character however long that takes (the
    // reader is stopped by an event), then for a gap; writes never time out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadGapMs;
    if (!SetCommTimeouts(device, &timeouts))
        return OpenFailure::Reason::Other;
    // Nothing left over from the port's last user counts as a reply.
    PurgeComm(device, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return OpenFailure::Reason::None;
}

void WindowsSerialPort::readUntilStopped(HANDLE device) {
    const HANDLE readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!readDone) {
        deviceFailed_ = true;
        return;
    }
    char chunk[kReadChunkBytes];
    while (WaitForSingleObject(stopReading_, 0) == WAIT_TIMEOUT) {
        bool full = false;
        {
            const std::lock_guard lock(receivedLock_);
            full = received_.size() >= kMaxPendingRead;
        }
        if (full) {
            WaitForSingleObject(stopReading_, kReaderRestMs);
            continue;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = readDone;
        if (!ReadFile(device, chunk, kReadChunkBytes, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            deviceFailed_ = true;
            break;
        }
        const HANDLE waits[] = {readDone, stopReading_};
        DWORD count = 0;
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            // The read must be over before its OVERLAPPED goes out of scope.
            CancelIoEx(device, &overlapped);
            GetOverlappedResult(device, &overlapped, &count, TRUE);
            break;
        }
        if (!GetOverlappedResult(device, &overlapped, &count, FALSE)) {
            deviceFailed_ = true;
            break;
        }
        if (count == 0) {
            WaitForSingleObject(stopReading_, kReaderRestMs);
            continue;
        }
        keepReceived(chunk, count);
    }
    CloseHandle(readDone);
}

void WindowsSerialPort::keepReceived(const char* bytes, DWORD count) {
    const std::lock_guard lock(receivedLock_);
    received_.append(bytes, qsizetype(count));
}

void WindowsSerialPort::close() {
    shutDown();
    readFailurePending_ = false;
}

bool WindowsSerialPort::isOpen() const {
    return device_ != INVALID_HANDLE_VALUE && !deviceFailed_;
}

std::optional<QByteArray> WindowsSerialPort::readAll() {
    noticeDeviceFailure();
    if (std::exchange(readFailurePending_, false))
        return std::nullopt;
    const std::lock_guard lock(receivedLock_);
    return std::exchange(received_, QByteArray());
}

bool WindowsSerialPort::write(char c) {
    noticeDeviceFailure();
    if (!isOpen() || writesUnderWay_.size() >= kMaxWritesUnderWay)
        return false;
    auto pending = std::make_unique<PendingWrite>();
    if (!pending->overlapped.hEvent)
        return false;
    pending->character = c;
    if (WriteFile(device_, &pending->character, 1, nullptr, &pending->overlapped))
        return true;
    if (GetLastError() != ERROR_IO_PENDING) {
        deviceFailed_ = true;
        noticeDeviceFailure();
        return false;
    }
    writesUnderWay_.push_back(std::move(pending));
    return true;
}

void WindowsSerialPort::drain(int ms) {
    const QDeadlineTimer deadline(ms);
    noticeDeviceFailure();
    // The driver sends in the order it was given, so the last write is the
    // last to finish.
    while (isOpen() && !writesUnderWay_.empty() && !deadline.hasExpired()) {
        const DWORD waitMs = DWORD(deadline.remainingTime());
        if (WaitForSingleObject(writesUnderWay_.back()->overlapped.hEvent, waitMs) != WAIT_OBJECT_0)
            break;
        noticeDeviceFailure();
    }
}

bool WindowsSerialPort::collectFinishedWrites() {
    while (!writesUnderWay_.empty() &&
           HasOverlappedIoCompleted(&writesUnderWay_.front()->overlapped)) {
        DWORD count = 0;
        const bool written =
            GetOverlappedResult(device_, &writesUnderWay_.front()->overlapped, &count, FALSE) &&
            count == 1;
        writesUnderWay_.pop_front();
        if (!written)
            return false;
    }
    return true;
}

void WindowsSerialPort::noticeDeviceFailure() {
    if (device_ == INVALID_HANDLE_VALUE)
        return;
    if (!collectFinishedWrites())
        deviceFailed_ = true;
    if (!deviceFailed_)
        return;
    shutDown();
    readFailurePending_ = true;
}

void WindowsSerialPort::shutDown() {
    if (device_ == INVALID_HANDLE_VALUE)
        return;
    SetEvent(stopReading_);
    reader_.join();
    CancelIoEx(device_, nullptr);
    for (const std::unique_ptr<PendingWrite>& pending : writesUnderWay_) {
        DWORD count = 0;
        GetOverlappedResult(device_, &pending->overlapped, &count, TRUE);
    }
    writesUnderWay_.clear();
    CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
    deviceFailed_ = false;
    const std::lock_guard lock(receivedLock_);
    received_.clear();
}
