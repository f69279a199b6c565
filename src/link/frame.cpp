#include "link/frame.h"

#include <algorithm>

QString encodeFourDigits(qint16 value) {
    const int held = std::clamp(int(value), 0, 9999);
    const char16_t digits[4] = {
        char16_t(u'0' + held / 1000),
        char16_t(u'0' + held % 1000 / 100),
        char16_t(u'0' + held % 100 / 10),
        char16_t(u'0' + held % 10),
    };
    return QString(reinterpret_cast<const QChar*>(digits), 4);
}

QString composeFrame(qint16 voltageSetpoint, qint16 currentSetpoint, bool tripMode, bool outputOn) {
    QString frame;
    frame.reserve(kFrameLength);
    frame += kFrameTag;
    frame += encodeFourDigits(voltageSetpoint);
    frame += tripMode ? u'C' : u'H';
    frame += encodeFourDigits(currentSetpoint);
    frame += outputOn ? u'O' : u'N';
    return frame;
}

QString receivedText(QByteArrayView bytes) {
    // One allocation of the full size, shrunk afterwards: a flood between two
    // reads can be megabytes.
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code != 0xFF)
            *out++ = QChar(code);
    }
    text.truncate(out - text.constData());
    return text;
}

bool isReplyBlock(QStringView block) {
    return block.size() >= kFrameLength && block.startsWith(kFrameTag) && block[10] == u'A' &&
           (block[15] == u'W' || block[15] == u'B');
}

ReplyExtraction extractReply(QStringView text) {
    const qsizetype tagAt = text.indexOf(kFrameTag);
    if (tagAt < 0)
        return {ReplyOutcome::NoTag, {}};

    // Blocks are cut from the first tag only; a later tag out of step with it
    // is not a new starting point.
    const QStringView fromTag = text.sliced(tagAt);
    const qsizetype blockCount = fromTag.size() / kFrameLength;
    if (blockCount == 0)
        return {ReplyOutcome::TooShort, {}};

    // Newest block first, so the reading is as recent as the read allows.
    for (qsizetype index = blockCount - 1; index >= 0; --index) {
        const QStringView block = fromTag.sliced(index * kFrameLength, kFrameLength);
        if (isReplyBlock(block))
            return {ReplyOutcome::Accepted, block.toString()};
    }
    return {ReplyOutcome::NoValidBlock, {}};
}

ReplyReading decodeReply(QStringView block) {
    return {block.mid(6, 4).toString(), block.mid(11, 4).toString(),
            block.size() >= kFrameLength && block[15] == u'B'};
}

bool isDigitField(QStringView field, int limit) {
    if (field.size() != 4)
        return false;
    int value = 0;
    for (const QChar character : field) {
        // Only ASCII digits: QChar::isDigit would also pass full-width and
        // other scripts' digits, which the supply never sends.
        if (character < u'0' || character > u'9')
            return false;
        value = value * 10 + (character.unicode() - u'0');
    }
    return value <= limit;
}
