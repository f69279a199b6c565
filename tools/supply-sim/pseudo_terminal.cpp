#include "pseudo_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace supplysim {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        throwErrno("posix_openpt");
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        const int error = errno;
        ::close(master_);
        throw std::system_error(error, std::generic_category(), "grantpt/unlockpt");
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) {
        const int error = errno;
        ::close(master_);
        throw std::system_error(error, std::generic_category(), "ptsname");
    }
    device_ = name;
    // Held open for our whole life: when the last slave descriptor closes, the master reads
    // hang-up errors, and the program closes its side every time it searches for ports.
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    if (slave_ < 0 || ::tcgetattr(slave_, &settings) != 0) {
        const int error = errno;
        hangUp();
        throw std::system_error(error, std::generic_category(), "open " + device_);
    }
    // Raw, so the line discipline neither echoes the program's frames back to us nor alters
    // our replies on their way to the program.
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
        const int error = errno;
        hangUp();
        throw std::system_error(error, std::generic_category(), "raw mode on " + device_);
    }
}

PseudoTerminal::~PseudoTerminal() {
    hangUp();
}

void PseudoTerminal::discardUnread() {
    if (slave_ >= 0) {
        ::tcflush(slave_, TCIFLUSH);
    }
}

void PseudoTerminal::hangUp() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

PortLink::PortLink(const std::filesystem::path& dir, int port, const std::string& device)
    : device_(device) {
    const std::filesystem::path base = std::filesystem::absolute(dir).lexically_normal();
    if (!std::filesystem::is_directory(base)) {
        throw std::runtime_error(dir.string() + " is not a directory");
    }
    const std::filesystem::path ports = base / "ports";
    std::filesystem::create_directory(ports);
    path_ = ports / ("com" + std::to_string(port));
    const auto status = std::filesystem::symlink_status(path_);
    if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
        throw std::runtime_error(path_.string() + " exists and is not a link; not replacing it");
    }
    // Built aside and renamed over the old link, so the program never finds the entry missing.
    const std::filesystem::path fresh =
        ports / (".com" + std::to_string(port) + "." + std::to_string(::getpid()));
    std::filesystem::remove(fresh);
    std::filesystem::create_symlink(device_, fresh);
    std::filesystem::rename(fresh, path_);
}

PortLink::~PortLink() {
    remove();
}

void PortLink::remove() {
    if (path_.empty()) {
        return;
    }
    std::error_code error;
    if (std::filesystem::read_symlink(path_, error) == device_) {
        std::filesystem::remove(path_, error);
    }
    path_.clear();
}

} // namespace supplysim
