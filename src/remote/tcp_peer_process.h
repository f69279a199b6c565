#pragma once

#include <QHostAddress>

#include <optional>
#include <span>

// One end of a TCP connection.
struct TcpEnd {
    QHostAddress address;
    quint16 port = 0;
};

// A connection as the system's TCP table lists it: seen from the process
// that owns it.
struct TcpTableRow {
    TcpEnd local;
    TcpEnd remote;
    quint32 processId = 0;
};

// The process that owns the other end of a connection of ours, given by its
// local and remote ends: the row seen from the other side, whose local end
// is our remote end. Our own accepted socket is in the table too, the other
// way round; taking it would make every client ours. Process id 0 (the idle
// process, or a system that does not say) owns nothing.
std::optional<quint32> peerProcess(std::span<const TcpTableRow> table, const TcpEnd& ourLocal,
                                   const TcpEnd& ourRemote);
