#pragma once

#include <functional>

// The two calls through which the disk most often fails or stalls: making a
// file's data durable and taking a journal's lock. Tests replace them to show
// a failed or slow sync and a lock that fails.
struct DiskCalls {
    std::function<int(int fd)> syncData;
    std::function<int(int fd, int operation)> lock;

    // fdatasync and flock.
    static DiskCalls real();
};
