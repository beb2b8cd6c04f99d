#include "comm/client.h"
#include "comm/comerror.h"
#include "linktesting.h"
#include "scriptedmeter.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QElapsedTimer>
#include <QTcpServer>

namespace {

QByteArray floatBytes(float v)
{
    uint8_t b[4];
    encodeFloat(v, b);
    return QByteArray(reinterpret_cast<const char *>(b), 4);
}

// A good reply of a block whose float i holds base + i, to the request
// with this transaction identifier (the link's requests count from 1).
QByteArray reply(MeterBlock block, float base, int transaction, int unit = 1, int function = 4)
{
    const MeterBlockInfo info = meterBlockInfo(block);
    QByteArray frame;
    frame.append(static_cast<char>(transaction >> 8));
    frame.append(static_cast<char>(transaction & 0xFF));
    frame.append('\0').append('\0');
    frame.append('\0').append(static_cast<char>(3 + info.byteCount));
    frame.append(static_cast<char>(unit)).append(static_cast<char>(function));
    frame.append(static_cast<char>(info.byteCount));
    for (int i = 0; i < info.byteCount / 4; ++i)
        frame += floatBytes(base + i);
    return frame;
}

ScriptedMeter::Step answer(const QByteArray &bytes)
{
    ScriptedMeter::Step s;
    s.pieces << bytes;
    return s;
}

const QString kRequestA = QStringLiteral("00 01 00 00 00 06 01 04 75 31 00 3a ");
const QString kRequestB = QStringLiteral("00 02 00 00 00 06 01 04 8a 49 00 1c ");

} // namespace

class TestClient : public QObject
{
    Q_OBJECT

private slots:
    void fullPollFromTheSimulator()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp());
        Client client(tcpConfig(sim.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        const PollResult first = pollOnce(client);
        QCOMPARE(first.code, int(ComOk));
        QCOMPARE(first.reports.size(), 4);
        QCOMPARE(first.reports[0], kRequestA);
        QCOMPARE(first.reports[2], kRequestB);
        // The reports of the replies are the frames the values came from.
        float decoded[kPollBufferSize];
        std::fill(decoded, decoded + kPollBufferSize, kUntouched);
        for (int i : {1, 3}) {
            const QByteArray bytes = reportBytes(first.reports[i]);
            const MeterBlock block = i == 1 ? MeterBlock::A : MeterBlock::B;
            QCOMPARE(checkTcpReply(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size(), block),
                     int(ComOk));
            decodeBlock(reinterpret_cast<const uint8_t *>(bytes.constData()) + 9, block, decoded);
        }
        QCOMPARE(first.values[0], kUntouched);
        for (int k = 1; k < kPollBufferSize; ++k)
            QCOMPARE(first.values[k], decoded[k]);
        checkPlausibleReading(first.values);

        // The supply changes from poll to poll.
        const PollResult second = pollOnce(client);
        QCOMPARE(second.code, int(ComOk));
        checkPlausibleReading(second.values);
        QVERIFY(!std::equal(first.values + 1, first.values + kPollBufferSize, second.values + 1));
        QVERIFY(sim.waitForLog(QStringLiteral("#4 unit 1 function 4 address 35401 count 28")));
        QCOMPARE(sim.stop(), 0);
    }

    void simulatorFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("requests");
        QTest::newRow("one byte extra") << QStringList{"--fault", "long"} << int(ComLengthError) << "AAA";
        QTest::newRow("exception reply") << QStringList{"--fault", "exception"} << int(ComLengthError) << "AAA";
        QTest::newRow("protocol identifier") << QStringList{"--fault", "protocol"} << int(ComReceiveError) << "AAA";
        // Another unit's answer is dropped and the wait goes on: the
        // first attempt runs out its time-out. The function code is not
        // compared over TCP.
        QTest::newRow("other unit answers") << QStringList{"--fault", "wrong-unit", "--fault-on", "1"} << int(ComOk)
                                            << "AAB";
        QTest::newRow("function 0x84") << QStringList{"--fault", "function"} << int(ComOk) << "AB";
        QTest::newRow("slow within the time-out") << QStringList{"--fault", "slow=300"} << int(ComOk) << "AB";
        QTest::newRow("retry of A") << QStringList{"--fault", "long", "--fault-on", "1"} << int(ComOk) << "AAB";
        QTest::newRow("retry of B") << QStringList{"--fault", "exception", "--fault-every", "2"} << int(ComOk)
                                    << "ABB";
        QTest::newRow("B fails twice") << QStringList{"--fault", "protocol", "--fault-on", "2,3"}
                                       << int(ComReceiveError) << "ABB";
        QTest::newRow("A needs all three, B still read")
            << QStringList{"--fault", "long", "--fault-on", "1,2"} << int(ComOk) << "AAAB";
        QTest::newRow("A needs all three, B fails its own attempt")
            << QStringList{"--fault", "long", "--fault-on", "1,2,4"} << int(ComLengthError) << "AAAB";
    }

    void simulatorFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, requests);
        SimProcess sim;
        QVERIFY(sim.startTcp(args));
        Client client(tcpConfig(sim.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, code);
        QCOMPARE(r.requestedBlocks(true), requests);
        // Every attempt reports its request and what came back.
        QCOMPARE(r.reports.size(), 2 * requests.size());
        if (code == ComOk) {
            checkPlausibleReading(r.values);
        } else if (requests.endsWith(QLatin1Char('B'))) {
            for (int k = 18; k < kPollBufferSize; ++k)
                QCOMPARE(r.values[k], kUntouched);
        }
    }

    void peerClosingIsNotConnected()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp({"--fault", "drop-after=2"}));
        Client client(tcpConfig(sim.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        QCOMPARE(pollOnce(client).code, int(ComOk));
        QVERIFY(sim.waitForLog(QStringLiteral("client disconnected")));
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(ComNotConnected));
        QVERIFY(r.reports.isEmpty());
        QCOMPARE(pollOnce(client).code, int(ComNotConnected));
    }

    void notConnectedSendsNothing()
    {
        Client client(tcpConfig("127.0.0.1:1502"));
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(ComNotConnected));
        QVERIFY(r.reports.isEmpty());
    }

    void oneClientAfterAnother()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp());
        for (int i = 0; i < 2; ++i) {
            Client client(tcpConfig(sim.address()));
            QCOMPARE(client.connectHost(), int(ComOk));
            QCOMPARE(pollOnce(client).code, int(ComOk));
        }
    }

    // The unit id is the poll's, whatever the settings hold.
    void unitIdentifierOfThePoll()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp({"--unit", "200"}));
        Client client(tcpConfig(sim.address(), 1));
        QCOMPARE(client.connectHost(), int(ComOk));
        const PollResult r = pollOnce(client, 200);
        QCOMPARE(r.code, int(ComOk));
        QCOMPARE(r.reports[0], QStringLiteral("00 01 00 00 00 06 c8 04 75 31 00 3a "));
    }

    void connectFailures_data()
    {
        QTest::addColumn<QByteArray>("ip");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank") << QByteArray("  ");
        QTest::newRow("port out of range") << QByteArray("127.0.0.1:70000");
        QTest::newRow("port missing") << QByteArray("127.0.0.1:");
        QTest::newRow("nothing listening") << QByteArray("closed");
    }

    void connectFailures()
    {
        QFETCH(QByteArray, ip);
        if (ip == "closed") {
            // A port that was free a moment ago: the connection is refused.
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            ip = "127.0.0.1:" + QByteArray::number(probe.serverPort());
            probe.close();
        }
        Client client(tcpConfig(ip));
        QCOMPARE(client.connectHost(), int(ComConnectFailed));
        QCOMPARE(pollOnce(client).code, int(ComNotConnected));
    }

    // The reports of one poll, byte for byte.
    void exactReports()
    {
        const QByteArray a = reply(MeterBlock::A, 100.0f, 1);
        const QByteArray b = reply(MeterBlock::B, 500.0f, 2);
        ScriptedMeter meter({answer(a), answer(b)});
        Client client(tcpConfig(meter.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(ComOk));
        const QStringList expected{kRequestA, QString::fromLatin1(a.toHex(' ') + ' '), kRequestB,
                                   QString::fromLatin1(b.toHex(' ') + ' ')};
        QCOMPARE(r.reports, expected);
        QCOMPARE(r.values[1], 100.0f);
        QCOMPARE(r.values[13], 115.0f);   // TP, after three skipped floats
        QCOMPARE(r.values[17], 128.0f);
        QCOMPARE(r.values[18], 500.0f);
        QCOMPARE(r.values[31], 513.0f);
        QCOMPARE(meter.requests().size(), 2);
    }

    // Behind a gateway a late answer to an earlier request may be another
    // meter's: a reply whose transaction or unit identifier is not the
    // request's is dropped (and reported), and the wait for the right one
    // goes on, within what is left of the poll's budget.
    void repliesThatDecode_data()
    {
        QTest::addColumn<QVector<QByteArray>>("pieces");   // A in pieces, then B whole
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<bool>("answered");
        const QByteArray a = reply(MeterBlock::A, 100.0f, 1);
        const QByteArray late = reply(MeterBlock::A, 900.0f, 0), otherUnit = reply(MeterBlock::A, 900.0f, 1, 2);
        QTest::newRow("whole") << QVector<QByteArray>{a} << 0 << 0 << true;
        QTest::newRow("function 0x84") << QVector<QByteArray>{reply(MeterBlock::A, 100.0f, 1, 1, 0x84)} << 0 << 0 << true;
        QTest::newRow("split inside the header") << QVector<QByteArray>{a.left(3), a.mid(3)} << 100 << 0 << true;
        QTest::newRow("split in the data") << QVector<QByteArray>{a.left(60), a.mid(60, 30), a.mid(90)} << 80 << 0 << true;
        QTest::newRow("a late answer first") << QVector<QByteArray>{late, a} << 50 << 1 << true;
        QTest::newRow("all in one piece") << QVector<QByteArray>{otherUnit + late + a} << 0 << 2 << true;
        QTest::newRow("only another unit's") << QVector<QByteArray>{otherUnit} << 0 << 1 << false;
    }

    void repliesThatDecode()
    {
        QFETCH(QVector<QByteArray>, pieces);
        QFETCH(int, gapMs);
        QFETCH(int, dropped);
        QFETCH(bool, answered);
        ScriptedMeter::Step first;
        first.pieces = QList<QByteArray>(pieces.begin(), pieces.end());
        first.gapMs = gapMs;
        ScriptedMeter meter({first, answer(reply(MeterBlock::B, 500.0f, 2))});
        Client client(tcpConfig(meter.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        client.setPollBudget(600);
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(answered ? ComOk : ComTimeout));
        QCOMPARE(r.values[17], answered ? 128.0f : kUntouched);
        // Once the budget is spent, no further attempt.
        QCOMPARE(r.requestedBlocks(true), QString(answered ? "AB" : "A"));
        QCOMPARE(r.reports.size(), (answered ? 4 : 1) + dropped);
        QCOMPARE(reportBytes(r.reports[1]).size(), 125);
    }

    void wrongLengthField()
    {
        QVector<ScriptedMeter::Step> steps;
        for (int transaction = 1; transaction <= 3; ++transaction)
            steps << answer(reply(MeterBlock::A, 100.0f, transaction).replace(5, 1, QByteArray(1, char(118))));
        ScriptedMeter meter(steps);
        Client client(tcpConfig(meter.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(ComReceiveError));
        QCOMPARE(r.requestedBlocks(true), QStringLiteral("AAA"));
        QCOMPARE(r.values[1], kUntouched);
    }

    // Bytes that arrive after a reply must not become the start of the next.
    void strayBytesAreDiscarded()
    {
        ScriptedMeter::Step lastOfFirstPoll = answer(reply(MeterBlock::B, 500.0f, 2));
        lastOfFirstPoll.afterwards = QByteArray::fromHex("deadbeef000007");
        ScriptedMeter meter({answer(reply(MeterBlock::A, 100.0f, 1)), lastOfFirstPoll,
                             answer(reply(MeterBlock::A, 200.0f, 3)), answer(reply(MeterBlock::B, 600.0f, 4))});
        Client client(tcpConfig(meter.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        QCOMPARE(pollOnce(client).code, int(ComOk));
        QThread::msleep(200);
        const PollResult r = pollOnce(client);
        QCOMPARE(r.code, int(ComOk));
        QCOMPARE(r.requestedBlocks(true), QStringLiteral("AB"));
        QCOMPARE(r.values[1], 200.0f);
        QCOMPARE(r.values[18], 600.0f);
    }
};

ZEP_TEST_MAIN_CORE(TestClient)
#include "tst_client.moc"
