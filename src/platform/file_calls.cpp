#include "platform/file_calls.h"

namespace file_calls {

// Built on read(), the same on every platform.
QByteArray readToEnd(int fd) {
    constexpr qint64 kPieceBytes = 64 * 1024;
    QByteArray bytes;
    for (;;) {
        const QByteArray piece = read(fd, kPieceBytes);
        bytes += piece;
        if (piece.size() < kPieceBytes) {
            return bytes;
        }
    }
}

} // namespace file_calls
