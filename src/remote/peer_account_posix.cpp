#include "remote/peer_account.h"

#include <array>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

struct DiagRequest {
    nlmsghdr header;
    inet_diag_req_v2 request;
};

// The address bytes of a socket address in the diagnostics' layout, and its
// port in network order.
void fill(const sockaddr_storage& address, __be32 (&bytes)[4], __be16& port) {
    std::memset(bytes, 0, sizeof bytes);
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(bytes, &v4.sin_addr, sizeof v4.sin_addr);
        port = v4.sin_port;
    } else {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(bytes, &v6.sin6_addr, sizeof v6.sin6_addr);
        port = v6.sin6_port;
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

Account accountOf(uid_t user) {
    return {QString::number(user), user == 0};
}

} // namespace

std::optional<Account> programAccount() {
    return accountOf(geteuid());
}

QByteArray accountsServed() {
    return "the account that runs the program (and root)";
}

std::optional<Account> localPeerAccount(qintptr connectedSocketHandle) {
    const int connectedSocket = static_cast<int>(connectedSocketHandle);
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (getsockname(connectedSocket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        getpeername(connectedSocket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        local.ss_family != peer.ss_family ||
        (local.ss_family != AF_INET && local.ss_family != AF_INET6)) {
        return std::nullopt;
    }

    const Descriptor diag(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (diag.get() < 0) {
        return std::nullopt;
    }
    // The kernel answers at once; the limit only guards against a kernel
    // that never does.
    const timeval patience{1, 0};
    setsockopt(diag.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

    // The peer's socket seen from its side: its own address is the source.
    DiagRequest message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = static_cast<__u8>(local.ss_family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    fill(peer, message.request.id.idiag_src, message.request.id.idiag_sport);
    fill(local, message.request.id.idiag_dst, message.request.id.idiag_dport);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(diag.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
        return std::nullopt;
    }
    alignas(nlmsghdr) std::array<char, 8192> answer{};
    const ssize_t length = recv(diag.get(), answer.data(), answer.size(), 0);
    if (length < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg)))) {
        return std::nullopt;
    }
    const auto* header = reinterpret_cast<const nlmsghdr*>(answer.data());
    if (!NLMSG_OK(header, static_cast<unsigned>(length)) ||
        header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
        header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        return std::nullopt;
    }
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    return accountOf(static_cast<uid_t>(found->idiag_uid));
}
