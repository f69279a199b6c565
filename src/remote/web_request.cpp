#include "remote/web_request.h"

#include <QByteArray>
#include <array>

namespace {

// A character of an HTTP method token.
bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

// method SP target SP HTTP/d...
bool isRequestLine(QByteArrayView line) {
    const qsizetype firstSpace = line.indexOf(' ');
    if (firstSpace <= 0) {
        return false;
    }
    for (const char c : line.first(firstSpace)) {
        if (!isTokenChar(c)) {
            return false;
        }
    }
    const QByteArrayView rest = line.sliced(firstSpace + 1);
    const qsizetype secondSpace = rest.indexOf(' ');
    if (secondSpace <= 0) {
        return false;
    }
    const QByteArrayView version = rest.sliced(secondSpace + 1);
    return version.size() >= 6 && version.startsWith("HTTP/") && version[5] >= '0' &&
           version[5] <= '9';
}

} // namespace

bool isWebRequestLine(QByteArrayView line, bool firstLine) {
    if (firstLine && isRequestLine(line)) {
        return true;
    }
    constexpr std::array<QByteArrayView, 3> kWebHeaders{"host:", "origin:", "content-length:"};
    for (const QByteArrayView header : kWebHeaders) {
        if (line.size() >= header.size() &&
            line.first(header.size()).toByteArray().toLower() == header) {
            return true;
        }
    }
    return false;
}
