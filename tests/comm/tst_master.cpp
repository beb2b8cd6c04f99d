#include "comm/comerror.h"
#include "comm/master.h"
#include "linktesting.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kRequestA = QStringLiteral("01 04 75 31 00 3a 3b da ");
const QString kRequestB = QStringLiteral("01 04 8a 49 00 1c 0a 0d ");

// A pseudo-terminal of the test's own, to look at the line settings the
// master puts on it (the master side reads the slave side's settings).
class Pty
{
public:
    Pty()
    {
        fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0)
            slave = QString::fromLocal8Bit(ptsname(fd));
    }
    ~Pty()
    {
        if (fd >= 0)
            close(fd);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    termios settings() const
    {
        termios t{};
        tcgetattr(fd, &t);
        return t;
    }

    int fd = -1;
    QString slave;
};

} // namespace

class TestMaster : public QObject
{
    Q_OBJECT

private slots:
    void fullPollFromTheSimulator()
    {
        SimProcess sim;
        QVERIFY(sim.startRtu());
        Master master(serialConfig(sim.linkPath));
        QCOMPARE(master.openPort(), int(ComOk));
        const PollResult first = pollOnce(master);
        QCOMPARE(first.code, int(ComOk));
        QCOMPARE(first.reports.size(), 4);
        QCOMPARE(first.reports[0], kRequestA);
        QCOMPARE(first.reports[2], kRequestB);
        float decoded[kPollBufferSize];
        std::fill(decoded, decoded + kPollBufferSize, kUntouched);
        for (int i : {1, 3}) {
            const QByteArray bytes = reportBytes(first.reports[i]);
            const MeterBlock block = i == 1 ? MeterBlock::A : MeterBlock::B;
            const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
            QCOMPARE(checkRtuReply(b, bytes.size(), 1, block), int(ComOk));
            decodeBlock(b + 3, block, decoded);
        }
        QCOMPARE(first.values[0], kUntouched);
        for (int k = 1; k < kPollBufferSize; ++k)
            QCOMPARE(first.values[k], decoded[k]);
        checkPlausibleReading(first.values);

        const PollResult second = pollOnce(master);
        QCOMPARE(second.code, int(ComOk));
        checkPlausibleReading(second.values);
        QVERIFY(!std::equal(first.values + 1, first.values + kPollBufferSize, second.values + 1));

        // Stops cleanly and takes its link along.
        master.closePort();
        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo(sim.linkPath).isSymLink());
    }

    void simulatorFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("requests");
        QTest::newRow("wrong crc") << QStringList{"--fault", "crc"} << int(ComCrcError) << "AAA";
        QTest::newRow("one byte extra") << QStringList{"--fault", "long"} << int(ComLengthError) << "AAA";
        QTest::newRow("other address") << QStringList{"--fault", "wrong-unit"} << int(ComReceiveError) << "AAA";
        QTest::newRow("function 0x84") << QStringList{"--fault", "function"} << int(ComReceiveError) << "AAA";
        QTest::newRow("slow within the time-out") << QStringList{"--fault", "slow=300"} << int(ComOk) << "AB";
        // A reply that arrives in two pieces is waited for whole.
        QTest::newRow("reply in two pieces") << QStringList{"--fault", "split"} << int(ComOk) << "AB";
        // Bytes ahead of the reply make it one of the wrong length, never
        // a wrong header: the length is checked first.
        QTest::newRow("bytes before the reply") << QStringList{"--fault", "garbage"} << int(ComLengthError) << "AAA";
        QTest::newRow("bytes before the reply, then a clean one")
            << QStringList{"--fault", "garbage", "--fault-on", "1"} << int(ComOk) << "AAB";
        QTest::newRow("retry of A") << QStringList{"--fault", "crc", "--fault-on", "1"} << int(ComOk) << "AAB";
        QTest::newRow("retry of B") << QStringList{"--fault", "crc", "--fault-every", "2"} << int(ComOk) << "ABB";
        QTest::newRow("B fails twice") << QStringList{"--fault", "wrong-unit", "--fault-on", "2,3"}
                                       << int(ComReceiveError) << "ABB";
        QTest::newRow("A needs all three, B still read")
            << QStringList{"--fault", "crc", "--fault-on", "1,2"} << int(ComOk) << "AAAB";
        QTest::newRow("A needs all three, B fails its own attempt")
            << QStringList{"--fault", "crc", "--fault-on", "1,2,4"} << int(ComCrcError) << "AAAB";
    }

    void simulatorFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, requests);
        SimProcess sim;
        QVERIFY(sim.startRtu(args));
        Master master(serialConfig(sim.linkPath));
        QCOMPARE(master.openPort(), int(ComOk));
        const PollResult r = pollOnce(master);
        QCOMPARE(r.code, code);
        QCOMPARE(r.requestedBlocks(false), requests);
        QCOMPARE(r.reports.size(), 2 * requests.size());
        if (code == ComOk)
            checkPlausibleReading(r.values);
        else if (requests.endsWith(QLatin1Char('B')))
            for (int k = 18; k < kPollBufferSize; ++k)
                QCOMPARE(r.values[k], kUntouched);
    }

    // What the pieces and the stray bytes look like in the reports: the
    // whole reply in one report, the stray bytes in front of a good reply.
    void piecesAndStrayBytesReported()
    {
        SimProcess sim;
        QVERIFY(sim.startRtu({"--fault", "garbage", "--fault-on", "1"}));
        Master master(serialConfig(sim.linkPath));
        QCOMPARE(master.openPort(), int(ComOk));
        const PollResult r = pollOnce(master);
        QCOMPARE(r.code, int(ComOk));
        const QByteArray stray = reportBytes(r.reports.at(1));
        QCOMPARE(stray.size(), 3 + 121);
        QCOMPARE(stray.left(3), QByteArray("\xff\x00\xff", 3));
        QCOMPARE(checkRtuReply(reinterpret_cast<const uint8_t *>(stray.constData()) + 3, 121, 1, MeterBlock::A),
                 int(ComOk));

        SimProcess split;
        QVERIFY(split.startRtu({"--fault", "split"}));
        Master second(serialConfig(split.linkPath));
        QCOMPARE(second.openPort(), int(ComOk));
        QElapsedTimer clock;
        clock.start();
        const PollResult pieces = pollOnce(second);
        QCOMPARE(pieces.code, int(ComOk));
        // Each block's second piece came 200 ms after its first.
        QVERIFY2(clock.elapsed() >= 2 * 200 - 20, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(reportBytes(pieces.reports.at(1)).size(), 121);
        QCOMPARE(reportBytes(pieces.reports.at(3)).size(), 61);
    }

    void address200()
    {
        SimProcess sim;
        QVERIFY(sim.startRtu({"--unit", "200", "--baud", "19200", "--parity", "Even"}));
        // The address is the poll's, whatever the settings hold.
        ComConfig settings = serialConfig(sim.linkPath, 1);
        copyToField(settings.baud, "19200");
        copyToField(settings.parity, "Even");
        Master master(settings);
        QCOMPARE(master.openPort(), int(ComOk));
        const PollResult r = pollOnce(master, 200);
        QCOMPARE(r.code, int(ComOk));
        QVERIFY(r.reports[0].startsWith(QLatin1String("c8 04 75 31 00 3a ")));
        QVERIFY(r.reports[1].startsWith(QLatin1String("c8 04 74 ")));
    }

    void openFailures()
    {
        Master master(serialConfig(QStringLiteral("/nonexistent/ttyZEP7")));
        QCOMPARE(master.openPort(), int(ComOpenFailed));
        // A poll on a port that never opened sends nothing.
        const PollResult r = pollOnce(master);
        QCOMPARE(r.code, int(ComPortNotOpen));
        QVERIFY(r.reports.isEmpty());
        Master never(ComConfig{});
        QCOMPARE(pollOnce(never).code, int(ComPortNotOpen));
    }

    void lineSettings_data()
    {
        QTest::addColumn<QByteArray>("baud");
        QTest::addColumn<QByteArray>("parity");
        QTest::addColumn<QByteArray>("stop");
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("odd");
        QTest::addColumn<bool>("twoStop");
        QTest::newRow("9600 8N1") << QByteArray("9600") << QByteArray("No") << QByteArray("1") << int(B9600)
                                  << false << false;
        QTest::newRow("19200 odd") << QByteArray("19200") << QByteArray("Odd") << QByteArray("1") << int(B19200)
                                   << true << false;
        QTest::newRow("Even") << QByteArray("4800") << QByteArray("Even") << QByteArray("2") << int(B4800)
                              << false << true;
        QTest::newRow("Mark means even") << QByteArray("9600") << QByteArray("Mark") << QByteArray("1")
                                         << int(B9600) << false << false;
        QTest::newRow("3 stop bits mean two") << QByteArray("9600") << QByteArray("No") << QByteArray("3")
                                              << int(B9600) << false << true;
    }

    void lineSettings()
    {
        QFETCH(QByteArray, baud);
        QFETCH(QByteArray, parity);
        QFETCH(QByteArray, stop);
        QFETCH(int, speed);
        QFETCH(bool, odd);
        QFETCH(bool, twoStop);
        Pty pty;
        QVERIFY(!pty.slave.isEmpty());
        ComConfig settings = serialConfig(pty.slave);
        copyToField(settings.baud, baud);
        copyToField(settings.parity, parity);
        copyToField(settings.stopbit, stop);
        Master master(settings);
        QCOMPARE(master.openPort(), int(ComOk));
        const termios t = pty.settings();
        QCOMPARE(int(cfgetospeed(&t)), speed);
        QCOMPARE(int(cfgetispeed(&t)), speed);
        QCOMPARE((t.c_cflag & CSIZE) == CS8, true);
        // A pseudo-terminal always reports 8 bits without parity enable, but
        // keeps the odd and mark/space bits: "Mark" must not come out as
        // mark parity (PARODD with CMSPAR), nor as odd.
        QCOMPARE((t.c_cflag & PARODD) != 0, odd);
        QCOMPARE((t.c_cflag & CMSPAR) != 0, false);
        QCOMPARE((t.c_cflag & CSTOPB) != 0, twoStop);
        QCOMPARE((t.c_cflag & CRTSCTS) != 0, false);
        // Opening again replaces the port.
        QCOMPARE(master.openPort(), int(ComOk));
    }
};

ZEP_TEST_MAIN_CORE(TestMaster)
#include "tst_master.moc"
