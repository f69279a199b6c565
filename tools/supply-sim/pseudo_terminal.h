#pragma once

#include <filesystem>
#include <string>

namespace supplysim {

// The line to the program: we hold the master side, the program opens the slave device.
class PseudoTerminal {
public:
    PseudoTerminal(); // throws std::system_error
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& device() const { return device_; }

    // Throws away whatever we wrote that nobody has read yet.
    void discardUnread();
    // Closes both sides; whoever still has the device open sees the line hang up.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
};

// DIR/ports/comN pointing at our device, so the program finds it as port N.
class PortLink {
public:
    PortLink(const std::filesystem::path& dir, int port, const std::string& device); // throws
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Removes the link unless someone has pointed it elsewhere meanwhile.
    void remove();

private:
    std::filesystem::path path_;
    std::string device_;
};

} // namespace supplysim
