#pragma once

#include <optional>
#include <sys/types.h>

// The account that owns the other end of a TCP connection on this
// computer, as the kernel's socket diagnostics name it; none when the
// kernel cannot tell (the other end already gone, no diagnostics).
std::optional<uid_t> localPeerAccount(int connectedSocket);

// Only the account that runs the program, or root, may drive the supply.
inline bool mayDriveSupply(std::optional<uid_t> peer, uid_t self) {
    return peer && (*peer == self || *peer == 0);
}
