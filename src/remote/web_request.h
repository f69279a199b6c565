#pragma once

#include <QByteArrayView>

// Whether a line (without its terminator) comes from a web client rather
// than a script: a request line ("POST / HTTP/1.1") as the first line, or
// a header only browsers and HTTP clients send on any line. A web page can
// make a browser send such bytes to any port on this computer, so the
// lines of its body must never run as commands.
bool isWebRequestLine(QByteArrayView line, bool firstLine);
