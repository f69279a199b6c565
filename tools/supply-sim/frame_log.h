#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace supplysim {

// Line log for rate and latency measurements by another process:
//   "<ms> <16 frame characters>" for each well-formed frame received,
//   "<ms> bytes <n>" with the count of all bytes received so far.
// ms is CLOCK_MONOTONIC, comparable across processes on the same machine. Each line is flushed
// at once so a reader sees it while we run and nothing is lost when we are killed.
class FrameLog {
public:
    explicit FrameLog(const std::string& path); // throws std::system_error
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    void frame(std::int64_t ms, std::string_view text);
    void byteCount(std::int64_t ms, std::uint64_t bytes);

private:
    std::FILE* file_;
};

std::int64_t monotonicMs();

} // namespace supplysim
