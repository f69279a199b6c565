#include "command_frame.h"
#include "options.h"
#include "reply_block.h"
#include "supply_model.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <set>
#include <unistd.h>

using namespace supplysim;

namespace {

const std::string kFrame = "VKPPSU1200H0500O";

std::vector<std::string> texts(const std::vector<ReceivedFrame>& frames) {
    std::vector<std::string> result;
    for (const ReceivedFrame& frame : frames) {
        result.push_back(frame.text);
    }
    return result;
}

std::vector<ReceivedFrame> feedByteByByte(FrameScanner& scanner, std::string_view stream) {
    std::vector<ReceivedFrame> frames;
    for (char c : stream) {
        for (ReceivedFrame& frame : scanner.feed(std::string_view(&c, 1))) {
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

// The program's acceptance rule for a reply block, written out separately so the simulator's
// output is checked against the protocol rather than against its own formatter.
bool programAccepts(std::string_view block) {
    return block.size() == 16 && block.starts_with("VKPPSU") && block[10] == 'A' &&
           (block[15] == 'W' || block[15] == 'B');
}

std::string withoutNoise(std::string bytes) {
    std::erase(bytes, '\xff');
    return bytes;
}

std::optional<Command> command(int voltage, LimitMode mode, int current, bool on) {
    return Command{voltage, mode, current, on};
}

Reading readingAfter(double ohms, const std::vector<Command>& commands) {
    SupplyModel model(ohms);
    for (const Command& c : commands) {
        model.apply(c);
    }
    return model.reading();
}

constexpr auto H = LimitMode::ConstantCurrent;
constexpr auto C = LimitMode::TripOut;

// The built tool on a pseudo-terminal, linked as <temporary dir>/ports/com<port>.
class RunningSimulator {
public:
    bool start(const QString& dir, int port, const QStringList& extra) {
        process.start(VELKOR_SUPPLY_SIM,
                      QStringList{"--dir", dir, "--port", QString::number(port)} + extra);
        if (!process.waitForStarted(5000)) {
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (!process.canReadLine() && waited.elapsed() < 5000) {
            process.waitForReadyRead(100);
        }
        const QString line = QString::fromUtf8(process.readLine());
        const auto match = QRegularExpression(R"(-> (\S+) \(link (.+)\)$)").match(line.trimmed());
        device = match.captured(1);
        link = match.captured(2);
        return match.hasMatch();
    }
    bool stop() {
        process.terminate();
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    ~RunningSimulator() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    QProcess process;
    QString device;
    QString link;
};

// The control program's end of the line.
class Client {
public:
    explicit Client(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Client() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    std::string readAvailable() {
        std::string received;
        char buffer[1024];
        ssize_t count;
        while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
            received.append(buffer, static_cast<std::size_t>(count));
        }
        return received;
    }
    // Sends the frame back to back, as the program does, for the given time; returns all
    // replies that came meanwhile.
    std::string talk(const std::string& frame, int ms) {
        std::string received;
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < ms) {
            const ssize_t written = ::write(fd, frame.data(), frame.size());
            if (written > 0) {
                sent += static_cast<std::size_t>(written);
            }
            QTest::qWait(20);
            received += readAvailable();
        }
        return received;
    }

    int fd;
    std::size_t sent = 0;
};

// The newest reply block the program would accept in the received text.
std::string newestAcceptedBlock(const std::string& received) {
    for (std::size_t at = received.rfind("VKPPSU"); at != std::string::npos;
         at = at == 0 ? std::string::npos : received.rfind("VKPPSU", at - 1)) {
        const std::string block = received.substr(at, 16);
        if (programAccepts(block)) {
            return block;
        }
    }
    return {};
}

} // namespace

class TestSupplySim : public QObject {
    Q_OBJECT

private slots:
    // Command frames

    void parseCommand_readsEveryField_data() {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("voltage");
        QTest::addColumn<bool>("tripMode");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("outputOn");
        QTest::newRow("12 V 0.5 A H on") << "VKPPSU1200H0500O" << 1200 << false << 500 << true;
        QTest::newRow("top of range C off") << "VKPPSU3100C5100N" << 3100 << true << 5100 << false;
        QTest::newRow("all zero") << "VKPPSU0000H0000N" << 0 << false << 0 << false;
    }
    void parseCommand_readsEveryField() {
        QFETCH(QString, frame);
        QFETCH(int, voltage);
        QFETCH(bool, tripMode);
        QFETCH(int, current);
        QFETCH(bool, outputOn);
        QCOMPARE(parseCommand(frame.toStdString()),
                 command(voltage, tripMode ? C : H, current, outputOn));
    }

    void parseCommand_rejectsMalformed_data() {
        QTest::addColumn<QString>("frame");
        QTest::newRow("voltage above 31 V") << "VKPPSU3101H0500O";
        QTest::newRow("current above 5.1 A") << "VKPPSU1200H5101O";
        QTest::newRow("letter in voltage") << "VKPPSU12?0H0500O";
        QTest::newRow("blank in current") << "VKPPSU1200H 500O";
        QTest::newRow("lower-case mode") << "VKPPSU1200h0500O";
        QTest::newRow("unknown mode") << "VKPPSU1200A0500O";
        QTest::newRow("lower-case output") << "VKPPSU1200H0500o";
        QTest::newRow("lower-case tag") << "vkppsu1200H0500O";
        QTest::newRow("15 characters") << "VKPPSU1200H0500";
        QTest::newRow("17 characters") << "VKPPSU1200H0500OV";
    }
    void parseCommand_rejectsMalformed() {
        QFETCH(QString, frame);
        QVERIFY(!parseCommand(frame.toStdString()));
    }

    void scanner_findsTagMidStream() {
        FrameScanner scanner;
        const auto frames = feedByteByByte(scanner, "xx\r\n00H05VKPP" + kFrame + "VKP");
        QCOMPARE(texts(frames), std::vector<std::string>{kFrame});
        QVERIFY(frames[0].command);
    }

    void scanner_joinsPartsOfOneRead() {
        FrameScanner scanner;
        QVERIFY(scanner.feed("junkVKP").empty());
        QVERIFY(scanner.feed("PSU1200H05").empty());
        QCOMPARE(texts(scanner.feed("00OVKPPSU12")), std::vector<std::string>{kFrame});
    }

    void scanner_followsEndlessRepetitionJoinedAnywhere() {
        for (std::size_t start = 0; start < 16; ++start) {
            FrameScanner scanner;
            std::string stream = kFrame.substr(start);
            for (int i = 0; i < 4; ++i) {
                stream += kFrame;
            }
            const auto frames = feedByteByByte(scanner, stream);
            const std::size_t whole = start == 0 ? 5 : 4;
            QCOMPARE(texts(frames), std::vector<std::string>(whole, kFrame));
        }
    }

    void scanner_takesSplicedStretchAndThenNewFrame() {
        const std::string next = "VKPPSU2500C1000N";
        // The program switches frames at any character, so the supply sees one stretch that
        // begins with the old frame and ends with the new one.
        for (std::size_t cut = 1; cut < 16; ++cut) {
            const std::string spliced = kFrame.substr(0, cut) + next.substr(cut);
            FrameScanner scanner;
            const auto frames = feedByteByByte(scanner, kFrame + spliced + next);
            QCOMPARE(texts(frames), (std::vector<std::string>{kFrame, spliced, next}));
            QVERIFY(frames[1].command);
            QCOMPARE(frames[2].command, parseCommand(next));
        }
    }

    void scanner_skipsMalformedAndResynchronises() {
        FrameScanner scanner;
        const auto frames = scanner.feed("VKPPSU9999H0500O" + std::string("VKPPSU") + kFrame);
        QCOMPARE(frames.size(), 3u);
        QVERIFY(!frames[0].command);
        QVERIFY(!frames[1].command);
        QCOMPARE(frames[2].text, kFrame);
        QVERIFY(frames[2].command);
    }

    void scanner_survivesGarbageAndStaysSmall() {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> byte(0, 255);
        const std::vector<std::string> pieces{"VKP", "VKPPS", "VKPPSU", "\xff\xff", "U12"};
        FrameScanner scanner;
        std::size_t malformed = 0;
        for (int round = 0; round < 20000; ++round) {
            std::string chunk(5, '\0');
            for (char& c : chunk) {
                c = static_cast<char>(byte(random));
            }
            chunk += pieces[static_cast<std::size_t>(round) % pieces.size()];
            for (const ReceivedFrame& frame : scanner.feed(chunk)) {
                QVERIFY(!frame.command);
                ++malformed;
            }
            QVERIFY(scanner.buffered() < 16);
        }
        QVERIFY(malformed > 0);
        const auto frames = scanner.feed(kFrame + kFrame);
        QVERIFY(!frames.empty());
        QCOMPARE(frames.back().text, kFrame);
        QVERIFY(frames.back().command);
    }

    // Load model

    void model_outputOffGivesNothing() {
        QCOMPARE(readingAfter(10, {{1200, H, 500, false}}), (Reading{0, 0, false}));
    }

    void model_constantVoltageWithinLimit() {
        // 12 V into 100 ohm is 120 mA, below the 500 mA limit.
        QCOMPARE(readingAfter(100, {{1200, H, 500, true}}), (Reading{1200, 120, false}));
    }

    void model_modeHHoldsCurrentAtLimit() {
        // 12 V into 10 ohm would be 1.2 A; held at 0.5 A, which needs 5.00 V across 10 ohm.
        QCOMPARE(readingAfter(10, {{1200, H, 500, true}}), (Reading{500, 500, false}));
    }

    void model_roundsToWholeUnits() {
        // 10 V / 3 ohm = 3333.3 mA; 10 V / 7 ohm = 1428.6 mA; 5.1 A * 0.333 ohm = 1.6983 V.
        QCOMPARE(readingAfter(3, {{1000, H, 5100, true}}).current, 3333);
        QCOMPARE(readingAfter(7, {{1000, H, 5100, true}}).current, 1429);
        QCOMPARE(readingAfter(0.333, {{1000, H, 5100, true}}).voltage, 170);
    }

    void model_modeCTripsOnlyAboveLimit() {
        // 5.00 V into 10 ohm is exactly the 500 mA limit; 5.01 V is just above it.
        QCOMPARE(readingAfter(10, {{500, C, 500, true}}), (Reading{500, 500, false}));
        QCOMPARE(readingAfter(10, {{501, C, 500, true}}), (Reading{0, 0, true}));
    }

    void model_tripLatchesUntilOutputOff() {
        SupplyModel model(10);
        model.apply({1200, C, 500, true});
        QCOMPARE(model.reading(), (Reading{0, 0, true}));
        // A safe setting, or a change of mode, does not switch a tripped supply back on.
        model.apply({100, C, 500, true});
        QCOMPARE(model.reading(), (Reading{0, 0, true}));
        model.apply({100, H, 500, true});
        QCOMPARE(model.reading(), (Reading{0, 0, true}));
        model.apply({100, H, 500, false});
        QCOMPARE(model.reading(), (Reading{0, 0, false}));
        // 1 V into 10 ohm is 100 mA, within the limit again.
        model.apply({100, C, 500, true});
        QCOMPARE(model.reading(), (Reading{100, 100, false}));
        model.apply({1200, C, 500, true});
        QVERIFY(model.tripped());
    }

    // Reply blocks

    void reply_formatsProtocolBlock() {
        QCOMPARE(formatReply({1199, 498, false}), std::string("VKPPSU1199A0498W"));
        QCOMPARE(formatReply({3100, 5100, true}), std::string("VKPPSU3100A5100B"));
    }

    void reply_pinsDigitsToFourPlaces_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("digits");
        QTest::newRow("one digit") << 7 << "0007";
        QTest::newRow("largest") << 9999 << "9999";
        QTest::newRow("too large") << 12345 << "9999";
        QTest::newRow("negative") << -3 << "0000";
    }
    void reply_pinsDigitsToFourPlaces() {
        QFETCH(int, value);
        QFETCH(QString, digits);
        QCOMPARE(fourDigits(value), digits.toStdString());
        QVERIFY(programAccepts(formatReply({value, value, false})));
    }

    void shaper_cleanLineSendsBlockAsIs() {
        ReplyShaper shaper({}, 1);
        const auto chunks = shaper.shape("VKPPSU1199A0498W");
        QCOMPARE(chunks.size(), 1u);
        QCOMPARE(chunks[0].bytes, std::string("VKPPSU1199A0498W"));
    }

    void shaper_noTagDropsOnlyTheTag() {
        Faults faults;
        faults.noTag = true;
        ReplyShaper shaper(faults, 1);
        QCOMPARE(shaper.shape("VKPPSU1199A0498W")[0].bytes, std::string("1199A0498W"));
    }

    void shaper_noiseIsOnlyFFInsideAndAfter() {
        Faults faults;
        faults.ffNoise = true;
        ReplyShaper shaper(faults, 3);
        for (int i = 0; i < 50; ++i) {
            const std::string bytes = shaper.shape("VKPPSU1199A0498W")[0].bytes;
            QCOMPARE(withoutNoise(bytes), std::string("VKPPSU1199A0498W"));
            QCOMPARE(bytes.front(), 'V');
            QVERIFY(bytes.back() == '\xff');
            QVERIFY(bytes.substr(0, bytes.find_last_not_of('\xff')).find('\xff') !=
                    std::string::npos);
        }
    }

    void shaper_splitSendsTwoPartsApart() {
        Faults faults;
        faults.split = true;
        faults.ffNoise = true;
        ReplyShaper shaper(faults, 5);
        for (int i = 0; i < 50; ++i) {
            const auto chunks = shaper.shape("VKPPSU1199A0498W");
            QCOMPARE(chunks.size(), 2u);
            QVERIFY(!chunks[0].bytes.empty() && !chunks[1].bytes.empty());
            QCOMPARE(withoutNoise(chunks[0].bytes + chunks[1].bytes),
                     std::string("VKPPSU1199A0498W"));
            // Later than now, earlier than the next block (every 100 ms).
            QVERIFY(chunks[1].delayMs > 0 && chunks[1].delayMs < 100);
        }
    }

    void shaper_damagesEveryOtherBlockAtBothLetters() {
        Faults faults;
        faults.damage = Damage::EveryOther;
        ReplyShaper shaper(faults, 1);
        const std::string block = "VKPPSU1199A0498B";
        std::set<std::size_t> spoiled;
        for (int i = 0; i < 8; ++i) {
            const std::string sent = shaper.shape(block)[0].bytes;
            QCOMPARE(programAccepts(sent), i % 2 == 0);
            QCOMPARE(sent.size(), block.size());
            for (std::size_t at = 0; at < block.size(); ++at) {
                if (sent[at] != block[at]) {
                    QVERIFY(at == 10 || at == 15);
                    spoiled.insert(at);
                }
            }
        }
        QCOMPARE(spoiled, (std::set<std::size_t>{10, 15}));
    }

    void shaper_damagesChosenShare_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::newRow("none") << 0 << 0 << 0;
        QTest::newRow("about a third") << 30 << 200 << 400;
        QTest::newRow("all") << 100 << 1000 << 1000;
    }
    void shaper_damagesChosenShare() {
        QFETCH(int, percent);
        QFETCH(int, least);
        QFETCH(int, most);
        Faults faults;
        faults.damage = Damage::Percent;
        faults.damagePercent = percent;
        ReplyShaper shaper(faults, 11);
        int damaged = 0;
        for (int i = 0; i < 1000; ++i) {
            damaged += programAccepts(shaper.shape("VKPPSU1199A0498W")[0].bytes) ? 0 : 1;
        }
        QVERIFY2(damaged >= least && damaged <= most, QByteArray::number(damaged));
    }

    // Command line

    void options_readsBothValueForms() {
        const auto parsed =
            parseOptions({"--port", "7", "--dir=/tmp/x", "--load-ohms", "2.5", "--damaged=25",
                          "--hangup-after=1.5", "--split", "--frame-log", "f.log"});
        QVERIFY2(parsed.error.empty(), parsed.error.c_str());
        QCOMPARE(parsed.options.port, 7);
        QCOMPARE(parsed.options.dir, std::string("/tmp/x"));
        QCOMPARE(parsed.options.loadOhms, 2.5);
        QCOMPARE(parsed.options.faults.damage, Damage::Percent);
        QCOMPARE(parsed.options.faults.damagePercent, 25);
        QCOMPARE(parsed.options.hangupAfterSeconds, std::optional<double>(1.5));
        QVERIFY(parsed.options.faults.split);
        QVERIFY(!parsed.options.faults.ffNoise);
        QCOMPARE(parsed.options.frameLog, std::string("f.log"));
        QCOMPARE(parseOptions({"--damaged"}).options.faults.damage, Damage::EveryOther);
    }

    void options_refusesBadCommandLines_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("port 0") << QStringList{"--port", "0"};
        QTest::newRow("port 17") << QStringList{"--port", "17"};
        QTest::newRow("port not a number") << QStringList{"--port", "3x"};
        QTest::newRow("port without value") << QStringList{"--port"};
        QTest::newRow("no load") << QStringList{"--load-ohms", "0"};
        QTest::newRow("negative load") << QStringList{"--load-ohms=-4"};
        QTest::newRow("damage above 100") << QStringList{"--damaged=101"};
        QTest::newRow("switch with value") << QStringList{"--silent=yes"};
        QTest::newRow("unknown") << QStringList{"--baud", "9600"};
        QTest::newRow("short form") << QStringList{"-p", "3"};
    }
    void options_refusesBadCommandLines() {
        QFETCH(QStringList, args);
        std::vector<std::string> storage;
        for (const QString& arg : args) {
            storage.push_back(arg.toStdString());
        }
        const auto parsed =
            parseOptions(std::vector<std::string_view>(storage.begin(), storage.end()));
        QVERIFY(!parsed.error.empty());
    }

    // The built tool on a real pseudo-terminal

    void tool_answersFramesOnLinkedPort() {
        QTemporaryDir dir;
        RunningSimulator sim;
        const QString log = dir.filePath("frames.log");
        QVERIFY(sim.start(dir.path(), 3, {"--load-ohms", "100", "--frame-log", log}));
        QCOMPARE(QFileInfo(sim.link).absoluteFilePath(), QDir(dir.path()).filePath("ports/com3"));
        QCOMPARE(QFileInfo(sim.link).symLinkTarget(), sim.device);

        Client client(sim.link);
        QVERIFY(client.fd >= 0);
        // 12 V into 100 ohm: 120 mA.
        QCOMPARE(newestAcceptedBlock(client.talk(kFrame, 600)), std::string("VKPPSU1200A0120W"));
        // 2 V into 100 ohm wants 20 mA, above a 10 mA limit: mode C trips.
        QCOMPARE(newestAcceptedBlock(client.talk("VKPPSU0200C0010O", 400)),
                 std::string("VKPPSU0000A0000B"));

        QVERIFY(sim.stop());
        QVERIFY(!QFileInfo::exists(sim.link) && !QFileInfo(sim.link).isSymLink());
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.contains(QRegularExpression("^\\d+ VKPPSU1200H0500O$")));
        QVERIFY(lines.contains(QRegularExpression("^\\d+ VKPPSU0200C0010O$")));
        QCOMPARE(lines.last(),
                 lines.last().section(' ', 0, 0) + " bytes " + QString::number(client.sent));
    }

    void tool_hangsUpTheLine() {
        QTemporaryDir dir;
        RunningSimulator sim;
        QVERIFY(sim.start(dir.path(), 5, {"--hangup-after", "0.5"}));
        Client client(sim.link);
        QVERIFY(client.fd >= 0);
        QElapsedTimer waited;
        waited.start();
        bool hungUp = false;
        while (!hungUp && waited.elapsed() < 3000) {
            pollfd line{client.fd, POLLIN, 0};
            ::poll(&line, 1, 100);
            char c;
            const ssize_t count = ::read(client.fd, &c, 1);
            hungUp = (line.revents & POLLHUP) != 0 || count == 0 || (count < 0 && errno == EIO);
        }
        QVERIFY(hungUp);
        QVERIFY(sim.process.waitForFinished(3000));
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo(sim.link).isSymLink());
    }

    void tool_replacesStaleLinkAndKeepsNoBacklog() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("ports"));
        QVERIFY(QFile::link("/dev/pts/no-such-device", dir.filePath("ports/com2")));
        RunningSimulator sim;
        QVERIFY(sim.start(dir.path(), 2, {}));
        QCOMPARE(QFileInfo(dir.filePath("ports/com2")).symLinkTarget(), sim.device);
        {
            Client first(sim.link);
            QVERIFY(!newestAcceptedBlock(first.talk(kFrame, 300)).empty());
        }
        // The port stays closed longer than the simulator waits before it falls quiet.
        QTest::qWait(1500);
        Client later(sim.link);
        QTest::qWait(300);
        QCOMPARE(later.readAvailable(), std::string());
        QVERIFY(sim.stop());
    }
};

QTEST_GUILESS_MAIN(TestSupplySim)
#include "test_supply_sim.moc"
