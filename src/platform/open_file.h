#pragma once

#include "platform/file_calls.h"

#include <utility>

// Closes its descriptor however the scope is left; a closed or failed one
// is negative.
class OpenFile {
public:
    OpenFile() = default;
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closes the one held and takes this one.
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || file_calls::close(fd) == 0;
    }

private:
    int fd_ = -1;
};
