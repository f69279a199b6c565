#include "remote/peer_account.h"

#include "remote/tcp_peer_process.h"

#include <vector>

// Winsock before windows.h, and both before the IP helper.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <sddl.h>

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::optional<TcpEnd> endOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return TcpEnd{QHostAddress(ntohl(v4.sin_addr.s_addr)), ntohs(v4.sin_port)};
    }
    if (address.ss_family == AF_INET6) {
        // Without its scope, as the TCP table's addresses are compared.
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        return TcpEnd{QHostAddress(v6.sin6_addr.s6_addr), ntohs(v6.sin6_port)};
    }
    return std::nullopt;
}

// The table's ports are in network order in the low 16 bits.
quint16 portOf(DWORD tablePort) {
    return ntohs(static_cast<u_short>(tablePort));
}

// The connections of every process, of one address family, as the system
// lists them now.
std::vector<char> tcpTable(ULONG family) {
    std::vector<char> table;
    DWORD size = 0;
    // A connection opened between asking for the size and asking for the
    // table makes it larger: asked again with the new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD result = GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size,
                                                 FALSE, family, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
        if (result == NO_ERROR) {
            return table;
        }
        if (result != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
        table.resize(size);
    }
    return {};
}

std::vector<TcpTableRow> tcpRows(ULONG family) {
    const std::vector<char> table = tcpTable(family);
    std::vector<TcpTableRow> rows;
    if (table.empty()) {
        return rows;
    }
    if (family == AF_INET) {
        const auto* v4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
        for (DWORD i = 0; i < v4->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = v4->table[i];
            rows.push_back({{QHostAddress(ntohl(row.dwLocalAddr)), portOf(row.dwLocalPort)},
                            {QHostAddress(ntohl(row.dwRemoteAddr)), portOf(row.dwRemotePort)},
                            row.dwOwningPid});
        }
    } else {
        const auto* v6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table.data());
        for (DWORD i = 0; i < v6->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = v6->table[i];
            rows.push_back({{QHostAddress(row.ucLocalAddr), portOf(row.dwLocalPort)},
                            {QHostAddress(row.ucRemoteAddr), portOf(row.dwRemotePort)},
                            row.dwOwningPid});
        }
    }
    return rows;
}

std::optional<QString> userOf(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<char> user(size);
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        return std::nullopt;
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                                &text)) {
        return std::nullopt;
    }
    const QString id = QString::fromWCharArray(text);
    LocalFree(text);
    return id;
}

// No account counts as all-powerful here. An elevated script runs as its
// user's own identifier, so the one case for which Linux serves root is
// served already; LocalSystem is the services', and a service that can be
// made to connect on another's behalf would lend the supply to anyone.
std::optional<Account> accountOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return std::nullopt;
    }
    const OwnedHandle owned(token);
    const std::optional<QString> user = userOf(token);
    if (!user) {
        return std::nullopt;
    }
    return Account{*user, false};
}

} // namespace

std::optional<Account> programAccount() {
    return accountOf(GetCurrentProcess());
}

QByteArray accountsServed() {
    return "the account that runs the program";
}

std::optional<Account> localPeerAccount(qintptr connectedSocket) {
    const auto socket = static_cast<SOCKET>(connectedSocket);
    sockaddr_storage local{};
    sockaddr_storage peer{};
    int localLength = sizeof local;
    int peerLength = sizeof peer;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        local.ss_family != peer.ss_family) {
        return std::nullopt;
    }
    const std::optional<TcpEnd> ourLocal = endOf(local);
    const std::optional<TcpEnd> ourRemote = endOf(peer);
    if (!ourLocal || !ourRemote) {
        return std::nullopt;
    }
    const std::vector<TcpTableRow> rows = tcpRows(local.ss_family);
    const std::optional<quint32> owner = peerProcess(rows, *ourLocal, *ourRemote);
    if (!owner) {
        return std::nullopt;
    }
    const OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *owner));
    if (process.get() == nullptr) {
        return std::nullopt;
    }
    return accountOf(process.get());
}
