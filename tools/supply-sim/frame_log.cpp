#include "frame_log.h"

#include <cerrno>
#include <cinttypes>
#include <system_error>
#include <time.h>

namespace supplysim {

FrameLog::FrameLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
    if (file_ == nullptr) {
        throw std::system_error(errno, std::generic_category(), path);
    }
}

FrameLog::~FrameLog() {
    std::fclose(file_);
}

void FrameLog::frame(std::int64_t ms, std::string_view text) {
    std::fprintf(file_, "%" PRId64 " %.*s\n", ms, static_cast<int>(text.size()), text.data());
    std::fflush(file_);
}

void FrameLog::byteCount(std::int64_t ms, std::uint64_t bytes) {
    std::fprintf(file_, "%" PRId64 " bytes %" PRIu64 "\n", ms, bytes);
    std::fflush(file_);
}

std::int64_t monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace supplysim
