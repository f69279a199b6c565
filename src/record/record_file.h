#pragma once

#include <QString>

// Where the record of a stop goes: <recordDir>/<stamp>.TXT, or, when a file of
// that name exists already (two stops in one second, or stamps that coincide
// because they are not padded), <stamp>_2.TXT, <stamp>_3.TXT and so on, so an
// earlier record is never overwritten.
QString freeRecordPath(const QString& recordDir, const QString& stamp);

// Writes the text in the system's 8-bit encoding, all at once: a failed write
// leaves no partial file. Returns why it failed, or the empty text.
QString writeRecordFile(const QString& path, const QString& text);
// The same for text already encoded.
QString writeRecordBytes(const QString& path, const QByteArray& bytes);
