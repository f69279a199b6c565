#include "remote/tcp_peer_process.h"

namespace {

bool same(const TcpEnd& a, const TcpEnd& b) {
    return a.port == b.port && a.address.isEqual(b.address, QHostAddress::StrictConversion);
}

} // namespace

std::optional<quint32> peerProcess(std::span<const TcpTableRow> table, const TcpEnd& ourLocal,
                                   const TcpEnd& ourRemote) {
    for (const TcpTableRow& row : table) {
        if (same(row.local, ourRemote) && same(row.remote, ourLocal)) {
            return row.processId == 0 ? std::nullopt : std::optional<quint32>(row.processId);
        }
    }
    return std::nullopt;
}
