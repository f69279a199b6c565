// One read's bytes through everything the poll cycle does with them: 0xFF
// removal, reply extraction, decoding and the digit-field checks. Besides
// memory errors and undefined behaviour, it traps when a promise of the
// extraction is broken.

#include "link/frame.h"

#include <cstddef>
#include <cstdint>

namespace {

void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    const QString text = receivedText(bytes);
    require(text.size() == bytes.size() - bytes.count(char(0xFF)));
    require(!text.contains(QChar(0xFF)));

    const ReplyExtraction extraction = extractReply(text);
    const qsizetype tagAt = text.indexOf(kFrameTag);
    require((extraction.outcome == ReplyOutcome::NoTag) == (tagAt < 0));
    if (extraction.outcome != ReplyOutcome::Accepted) {
        require(extraction.block.isEmpty());
        return 0;
    }

    require(extraction.block.size() == kFrameLength);
    require(isReplyBlock(extraction.block));
    const ReplyReading reading = decodeReply(extraction.block);
    require(reading.voltageDigits.size() == 4);
    require(reading.currentDigits.size() == 4);
    require(reading.overCurrent == (extraction.block.back() == u'B'));
    isDigitField(reading.voltageDigits, kVoltageFieldLimit);
    isDigitField(reading.currentDigits, kCurrentFieldLimit);
    return 0;
}
