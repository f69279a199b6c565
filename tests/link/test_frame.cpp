#include "link/frame.h"

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(ReplyOutcome)

char* toString(ReplyOutcome outcome) {
    switch (outcome) {
    case ReplyOutcome::NoTag:
        return qstrdup("NoTag");
    case ReplyOutcome::TooShort:
        return qstrdup("TooShort");
    case ReplyOutcome::NoValidBlock:
        return qstrdup("NoValidBlock");
    case ReplyOutcome::Accepted:
        return qstrdup("Accepted");
    }
    return qstrdup("?");
}

namespace {

// Bytes that never form the tag, as a line full of interference might carry.
QByteArray noiseWithoutTag(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray noise(size, Qt::Uninitialized);
    for (char& byte : noise) {
        byte = char(random.bounded(256));
        if (byte == 'V')
            byte = 'v';
    }
    return noise;
}

ReplyExtraction extractFromRead(const QByteArray& read) {
    return extractReply(receivedText(read));
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void encodesFourDigits_data();
    void encodesFourDigits();
    void composesFrame_data();
    void composesFrame();
    void dropsFillBytes_data();
    void dropsFillBytes();
    void keepsEveryOtherByteValue();
    void validatesBlock_data();
    void validatesBlock();
    void extractsReply_data();
    void extractsReply();
    void decodesBlock_data();
    void decodesBlock();
    void checksDigitField_data();
    void checksDigitField();

    void noiseWithoutTagHasNoTag();
    void blockAfterMegabytesOfNoiseIsFound();
    void loneTagAtEndOfNoiseIsTooShort();
    void newestBlockOfFloodWins();
    void goodBlockBeforeFloodOfDamagedBlocksWins();
};

void TestFrame::encodesFourDigits_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("digits");

    QTest::newRow("zero") << 0 << "0000";
    QTest::newRow("units only") << 7 << "0007";
    QTest::newRow("tens") << 40 << "0040";
    QTest::newRow("half an ampere") << 500 << "0500";
    QTest::newRow("12 V") << 1200 << "1200";
    QTest::newRow("voltage limit") << 3100 << "3100";
    QTest::newRow("current limit") << 5100 << "5100";
    QTest::newRow("largest four digits") << 9999 << "9999";
    QTest::newRow("negative held at zero") << -1 << "0000";
    QTest::newRow("five digits held at 9999") << 10000 << "9999";
    QTest::newRow("largest 16-bit held at 9999") << 32767 << "9999";
}

void TestFrame::encodesFourDigits() {
    QFETCH(int, value);
    QFETCH(QString, digits);
    QCOMPARE(encodeFourDigits(qint16(value)), digits);
}

void TestFrame::composesFrame_data() {
    QTest::addColumn<int>("voltage");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("tripMode");
    QTest::addColumn<bool>("outputOn");
    QTest::addColumn<QString>("frame");

    QTest::newRow("12 V, 0.5 A, constant current, on")
        << 1200 << 500 << false << true << "VKPPSU1200H0500O";
    QTest::newRow("31 V, 5.1 A, shut-down, off")
        << 3100 << 5100 << true << false << "VKPPSU3100C5100N";
    QTest::newRow("all zero, off") << 0 << 0 << false << false << "VKPPSU0000H0000N";
    QTest::newRow("12.5 V, 0.5 A, on") << 1250 << 500 << false << true << "VKPPSU1250H0500O";
    QTest::newRow("shut-down mode, on") << 5 << 37 << true << true << "VKPPSU0005C0037O";
}

void TestFrame::composesFrame() {
    QFETCH(int, voltage);
    QFETCH(int, current);
    QFETCH(bool, tripMode);
    QFETCH(bool, outputOn);
    QFETCH(QString, frame);
    QCOMPARE(composeFrame(qint16(voltage), qint16(current), tripMode, outputOn), frame);
}

void TestFrame::dropsFillBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("only 0xFF") << QByteArray("\xFF\xFF\xFF") << QString();
    QTest::newRow("0xFF before a block and a half")
        << QByteArray("\xFF\xFFVKPPSU1199A0498WVKPPSU11") << "VKPPSU1199A0498WVKPPSU11";
    QTest::newRow("0xFF inside a block") << QByteArray("VKP\xFFPSU1199\xFF\xFF"
                                                       "A0498W\xFF")
                                         << "VKPPSU1199A0498W";
    QTest::newRow("NUL bytes are characters")
        << QByteArray("\0A\0", 3) << QString(QChar(0)) + u'A' + QChar(0);
    QTest::newRow("high bytes are Latin-1, not UTF-8")
        << QByteArray("\xC3\xA9\x80\xFE")
        << QString(QChar(0xC3)) + QChar(0xA9) + QChar(0x80) + QChar(0xFE);
}

void TestFrame::dropsFillBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(receivedText(bytes), text);
}

void TestFrame::keepsEveryOtherByteValue() {
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));

    const QString text = receivedText(everyByte);

    QCOMPARE(text.size(), 255);
    for (int value = 0; value < 255; ++value)
        QCOMPARE(text.at(value).unicode(), char16_t(value));
}

void TestFrame::validatesBlock_data() {
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("valid");

    QTest::newRow("normal status") << "VKPPSU1199A0498W" << true;
    QTest::newRow("over-current status") << "VKPPSU1198A0497B" << true;
    QTest::newRow("non-digits in a digit field") << "VKPPSU12?4A0498W" << true;
    QTest::newRow("NULs in the digit fields")
        << QStringLiteral("VKPPSU") + QString(4, QChar(0)) + u'A' + QString(4, QChar(0)) + u'W'
        << true;
    QTest::newRow("character 11 not A") << "VKPPSU1199X0498W" << false;
    QTest::newRow("lower-case status letter") << "VKPPSU1199A0498w" << false;
    QTest::newRow("a command frame echoed back") << "VKPPSU1200H0500O" << false;
    QTest::newRow("lower-case tag") << "vkppsu1199A0498W" << false;
    QTest::newRow("tag one letter off") << "VKPPSV1199A0498W" << false;
    QTest::newRow("tag not at the start") << "xVKPPSU1199A0498W" << false;
    QTest::newRow("15 characters") << "VKPPSU1199A0498" << false;
    QTest::newRow("empty") << QString() << false;
}

void TestFrame::validatesBlock() {
    QFETCH(QString, block);
    QFETCH(bool, valid);
    QCOMPARE(isReplyBlock(block), valid);
}

void TestFrame::extractsReply_data() {
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<ReplyOutcome>("outcome");
    QTest::addColumn<QString>("block");

    QTest::newRow("one block") << QByteArray("VKPPSU1199A0498W") << ReplyOutcome::Accepted
                               << "VKPPSU1199A0498W";
    QTest::newRow("0xFF, a block and a partial one")
        << QByteArray("\xFF\xFFVKPPSU1199A0498WVKPPSU11") << ReplyOutcome::Accepted
        << "VKPPSU1199A0498W";
    QTest::newRow("newer over-current block wins")
        << QByteArray("xyVKPPSU1199A0498WVKPPSU1198A0497B") << ReplyOutcome::Accepted
        << "VKPPSU1198A0497B";
    QTest::newRow("damaged last block, valid first")
        << QByteArray("VKPPSU1199A0498WVKPPSU1198X0497B") << ReplyOutcome::Accepted
        << "VKPPSU1199A0498W";
    QTest::newRow("newest valid block, not the first valid one")
        << QByteArray("VKPPSU1001A0101WVKPPSU1002A0102WVKPPSU1003X0103W") << ReplyOutcome::Accepted
        << "VKPPSU1002A0102W";
    QTest::newRow("non-digits shown as they are")
        << QByteArray("VKPPSU12?4A0498W") << ReplyOutcome::Accepted << "VKPPSU12?4A0498W";
    QTest::newRow("tag split by 0xFF")
        << QByteArray("VKP\xFFPSU1199A0498W") << ReplyOutcome::Accepted << "VKPPSU1199A0498W";
    QTest::newRow("NULs around a block")
        << QByteArray("\0\0VKPPSU1199A0498W\0", 19) << ReplyOutcome::Accepted << "VKPPSU1199A0498W";
    QTest::newRow("lower-case tag")
        << QByteArray("vkppsu1199A0498W") << ReplyOutcome::NoTag << QString();
    QTest::newRow("no tag at all") << QByteArray("1199A0498W") << ReplyOutcome::NoTag << QString();
    QTest::newRow("only 0xFF") << QByteArray("\xFF\xFF") << ReplyOutcome::NoTag << QString();
    QTest::newRow("tag and a few characters")
        << QByteArray("VKPPSU1199A04") << ReplyOutcome::TooShort << QString();
    QTest::newRow("lone tag at the end")
        << QByteArray("garbage VKPPSU") << ReplyOutcome::TooShort << QString();
    QTest::newRow("one damaged block")
        << QByteArray("VKPPSU1199X0498W") << ReplyOutcome::NoValidBlock << QString();
    QTest::newRow("blocks counted from the first tag")
        << QByteArray("VKPPSUVKPPSU1199A0498W") << ReplyOutcome::NoValidBlock << QString();
    QTest::newRow("valid block out of step with the first tag")
        << QByteArray("VKPPSU1199X0498WxVKPPSU1199A0498W") << ReplyOutcome::NoValidBlock
        << QString();
    QTest::newRow("trailing partial block not examined")
        << QByteArray("VKPPSU1199X0498WVKPPSU1199A0498") << ReplyOutcome::NoValidBlock << QString();
}

void TestFrame::extractsReply() {
    QFETCH(QByteArray, read);
    QFETCH(ReplyOutcome, outcome);
    QFETCH(QString, block);

    const ReplyExtraction extraction = extractFromRead(read);

    QCOMPARE(extraction.outcome, outcome);
    QCOMPARE(extraction.block, block);
}

void TestFrame::decodesBlock_data() {
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("voltageDigits");
    QTest::addColumn<QString>("currentDigits");
    QTest::addColumn<bool>("overCurrent");

    QTest::newRow("normal") << "VKPPSU1199A0498W"
                            << "1199"
                            << "0498" << false;
    QTest::newRow("over-current") << "VKPPSU1198A0497B"
                                  << "1198"
                                  << "0497" << true;
    QTest::newRow("non-digits kept") << "VKPPSU12?4A04 8W"
                                     << "12?4"
                                     << "04 8" << false;
}

void TestFrame::decodesBlock() {
    QFETCH(QString, block);
    QFETCH(QString, voltageDigits);
    QFETCH(QString, currentDigits);
    QFETCH(bool, overCurrent);

    const ReplyReading reading = decodeReply(block);

    QCOMPARE(reading.voltageDigits, voltageDigits);
    QCOMPARE(reading.currentDigits, currentDigits);
    QCOMPARE(reading.overCurrent, overCurrent);
}

void TestFrame::checksDigitField_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("within");

    QTest::newRow("zero voltage") << "0000" << kVoltageFieldLimit << true;
    QTest::newRow("voltage at its limit") << "3100" << kVoltageFieldLimit << true;
    QTest::newRow("voltage above its limit") << "3101" << kVoltageFieldLimit << false;
    QTest::newRow("current at its limit") << "5100" << kCurrentFieldLimit << true;
    QTest::newRow("current above its limit") << "5101" << kCurrentFieldLimit << false;
    QTest::newRow("current digits over the voltage limit") << "4000" << kVoltageFieldLimit << false;
    QTest::newRow("question mark") << "12?4" << kVoltageFieldLimit << false;
    QTest::newRow("three digits") << "123" << kVoltageFieldLimit << false;
    QTest::newRow("five digits") << "01234" << kVoltageFieldLimit << false;
    QTest::newRow("leading blank") << " 123" << kVoltageFieldLimit << false;
    QTest::newRow("sign") << "-123" << kVoltageFieldLimit << false;
    QTest::newRow("NUL") << QStringLiteral("12") + QChar(0) + u'4' << kVoltageFieldLimit << false;
    QTest::newRow("full-width digits")
        << QStringLiteral("\uFF11\uFF12\uFF13\uFF14") << kVoltageFieldLimit << false;
    QTest::newRow("Arabic-Indic digits")
        << QStringLiteral("\u0661\u0662\u0663\u0664") << kVoltageFieldLimit << false;
    QTest::newRow("empty") << QString() << kVoltageFieldLimit << false;
}

void TestFrame::checksDigitField() {
    QFETCH(QString, field);
    QFETCH(int, limit);
    QFETCH(bool, within);
    QCOMPARE(isDigitField(field, limit), within);
}

void TestFrame::noiseWithoutTagHasNoTag() {
    const ReplyExtraction extraction = extractFromRead(noiseWithoutTag(8 << 20, 1));
    QCOMPARE(extraction.outcome, ReplyOutcome::NoTag);
}

void TestFrame::blockAfterMegabytesOfNoiseIsFound() {
    // An odd length puts the block at an offset that is no multiple of 16.
    const QByteArray read = noiseWithoutTag((4 << 20) + 7, 2) + "VKPPSU0815A4711B";

    const ReplyExtraction extraction = extractFromRead(read);

    QCOMPARE(extraction.outcome, ReplyOutcome::Accepted);
    QCOMPARE(extraction.block, u"VKPPSU0815A4711B");
}

void TestFrame::loneTagAtEndOfNoiseIsTooShort() {
    const ReplyExtraction extraction = extractFromRead(noiseWithoutTag(4 << 20, 3) + "VKPPSU");
    QCOMPARE(extraction.outcome, ReplyOutcome::TooShort);
}

void TestFrame::newestBlockOfFloodWins() {
    QByteArray read = QByteArray("VKPPSU0000A0000W").repeated(256 * 1024);
    read += "VKPPSU3100A5100B";
    read += "VKPPSU31";

    const ReplyExtraction extraction = extractFromRead(read);

    QCOMPARE(extraction.outcome, ReplyOutcome::Accepted);
    QCOMPARE(extraction.block, u"VKPPSU3100A5100B");
}

void TestFrame::goodBlockBeforeFloodOfDamagedBlocksWins() {
    // Every damaged block is examined before the good one is reached, so this
    // also shows that examining megabytes stays cheap.
    const QByteArray read =
        QByteArray("VKPPSU1199A0498W") + QByteArray("VKPPSU1199A0498x").repeated(512 * 1024);

    const ReplyExtraction extraction = extractFromRead(read);

    QCOMPARE(extraction.outcome, ReplyOutcome::Accepted);
    QCOMPARE(extraction.block, u"VKPPSU1199A0498W");
}

QTEST_APPLESS_MAIN(TestFrame)
#include "test_frame.moc"
