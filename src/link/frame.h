#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The wire format shared with the supply: 16-character command frames out,
// 16-character reply blocks back, both starting with the tag "VKPPSU". There
// is no checksum or terminator; the tag is the only framing.

inline constexpr QStringView kFrameTag = u"VKPPSU";
inline constexpr qsizetype kFrameLength = 16;

// Largest values the four-digit fields of a command frame carry: 31.00 V in
// units of 10 mV and 5.100 A in units of 1 mA.
inline constexpr int kVoltageFieldLimit = 3100;
inline constexpr int kCurrentFieldLimit = 5100;

// Four decimal digits, most significant first: 500 gives "0500". Values
// outside 0..9999 are held at the nearest end so a frame never changes length.
QString encodeFourDigits(qint16 value);

// The command frame "VKPPSU" + voltage digits + mode letter + current digits
// + output letter. tripMode selects "C" (shut down on over-current) over "H"
// (constant current); outputOn is the output switch as it stands after the
// over-current trip has had its say, "O" for on and "N" for off.
QString composeFrame(qint16 voltageSetpoint, qint16 currentSetpoint, bool tripMode, bool outputOn);

// Received bytes as text, one Latin-1 character per byte, with every 0xFF
// byte dropped: an idle or disturbed line delivers 0xFF between blocks.
QString receivedText(QByteArrayView bytes);

// isReplyBlock: whether a block is a valid reply block, i.e. it is at least 16
// characters long, starts with the tag, has "A" at character 11 and "W" or "B"
// at character 16. The digit fields are deliberately not examined.
bool isReplyBlock(QStringView block);

enum class ReplyOutcome { NoTag, TooShort, NoValidBlock, Accepted };

struct ReplyExtraction {
    ReplyOutcome outcome = ReplyOutcome::NoTag;
    // The accepted block; empty for every other outcome.
    QString block;
};

// Finds the newest valid reply block in the text of one read, after its 0xFF
// bytes have been dropped. Blocks are counted in steps of 16 from the first
// tag; a partial block at the end is ignored.
ReplyExtraction extractReply(QStringView text);

struct ReplyReading {
    QString voltageDigits; // characters 7 to 10, as received
    QString currentDigits; // characters 12 to 15, as received
    bool overCurrent = false;
};

// The measured values of a block that isReplyBlock accepted.
ReplyReading decodeReply(QStringView block);

// isDigitField: whether a digit field of a reply block is exactly four decimal
// digits with a value not above limit. The verdict is only recorded; a block
// is never refused because of it.
bool isDigitField(QStringView field, int limit);
