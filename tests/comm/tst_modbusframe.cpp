#include "comm/comerror.h"
#include "comm/linkpolicy.h"
#include "comm/modbusframe.h"
#include "coretesting.h"

namespace {

// Bit by bit, independent of the lookup tables under test.
uint16_t referenceCrc(const QByteArray &bytes)
{
    uint16_t crc = 0xFFFF;
    for (char ch : bytes) {
        crc ^= static_cast<uint8_t>(ch);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const uint8_t *bytes(const QByteArray &a)
{
    return reinterpret_cast<const uint8_t *>(a.constData());
}

QByteArray withCrc(QByteArray frame)
{
    const uint16_t crc = referenceCrc(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

QByteArray floatBytes(float v)
{
    uint8_t b[4];
    encodeFloat(v, b);
    return QByteArray(reinterpret_cast<const char *>(b), 4);
}

// A data area in which the float at data offset 4*i is 1000 + i, so that
// every slot tells where it was taken from.
QByteArray distinctData(MeterBlock block)
{
    QByteArray data;
    for (int i = 0; i < meterBlockInfo(block).byteCount / 4; ++i)
        data += floatBytes(1000.0f + i);
    return data;
}

QByteArray rtuReply(int address, const QByteArray &data)
{
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append('\x04');
    frame.append(static_cast<char>(data.size()));
    return withCrc(frame + data);
}

QByteArray tcpReply(MeterBlock block, const QByteArray &data)
{
    const int rest = 3 + data.size();
    QByteArray frame = hex("0000 0000");
    frame.append(static_cast<char>(rest >> 8));
    frame.append(static_cast<char>(rest & 0xFF));
    frame += hex("01 04");
    frame.append(static_cast<char>(meterBlockInfo(block).byteCount));
    return frame + data;
}

} // namespace

Q_DECLARE_METATYPE(MeterBlock)

class TestModbusFrame : public QObject
{
    Q_OBJECT

private slots:
    void crcTablesMatchThePolynomial()
    {
        for (int i = 0; i < 256; ++i) {
            // A table entry is the CRC register after one byte from a zero
            // register: low byte in the "Hi" table, high byte in the "Lo" one.
            uint16_t c = static_cast<uint16_t>(i);
            for (int b = 0; b < 8; ++b)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
            QCOMPARE(kCrcHiTable[i], static_cast<uint8_t>(c & 0xFF));
            QCOMPARE(kCrcLoTable[i], static_cast<uint8_t>(c >> 8));
        }
    }

    void crc_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("crc");
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
        QTest::newRow("request A, address 1") << hex("01 04 75 31 00 3a") << 0xda3b;
        QTest::newRow("request B, address 1") << hex("01 04 8a 49 00 1c") << 0x0d0a;
        QTest::newRow("empty") << QByteArray() << 0xFFFF;
        QByteArray long300;
        for (int i = 0; i < 300; ++i)
            long300.append(static_cast<char>(i * 7 + 3));
        QTest::newRow("300 bytes") << long300 << int(referenceCrc(long300));
    }

    void crc()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, crc);
        QCOMPARE(int(modbusCrc(bytes(frame), frame.size())), crc);
    }

    void requests_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<int>("address");
        QTest::addColumn<MeterBlock>("block");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("rtu A addr 1") << false << 1 << MeterBlock::A << hex("01 04 75 31 00 3a 3b da");
        QTest::newRow("rtu B addr 1") << false << 1 << MeterBlock::B << hex("01 04 8a 49 00 1c 0a 0d");
        QTest::newRow("rtu A addr 200") << false << 200 << MeterBlock::A << withCrc(hex("c8 04 75 31 00 3a"));
        QTest::newRow("rtu B addr 200") << false << 200 << MeterBlock::B << withCrc(hex("c8 04 8a 49 00 1c"));
        QTest::newRow("rtu addr 457 sends its low byte") << false << 457 << MeterBlock::A
                                                          << withCrc(hex("c9 04 75 31 00 3a"));
        QTest::newRow("tcp A addr 1") << true << 1 << MeterBlock::A << hex("00 00 00 00 00 06 01 04 75 31 00 3a");
        QTest::newRow("tcp B addr 1") << true << 1 << MeterBlock::B << hex("00 00 00 00 00 06 01 04 8a 49 00 1c");
        QTest::newRow("tcp A addr 200") << true << 200 << MeterBlock::A
                                        << hex("00 00 00 00 00 06 c8 04 75 31 00 3a");
    }

    void requests()
    {
        QFETCH(bool, tcp);
        QFETCH(int, address);
        QFETCH(MeterBlock, block);
        QFETCH(QByteArray, expected);
        uint8_t out[16];
        memset(out, 0xEE, sizeof out);
        const int n = tcp ? buildTcpRequest(out, address, block) : buildRtuRequest(out, address, block);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), n).toHex(' '), expected.toHex(' '));
        QCOMPARE(out[n], uint8_t(0xEE));
    }

    void replyLengths()
    {
        QCOMPARE(rtuReplyLength(MeterBlock::A), 121);
        QCOMPARE(rtuReplyLength(MeterBlock::B), 61);
        QCOMPARE(tcpReplyLength(MeterBlock::A), 125);
        QCOMPARE(tcpReplyLength(MeterBlock::B), 65);
        QCOMPARE(tcpReplyLengthField(MeterBlock::A), 119);
        QCOMPARE(tcpReplyLengthField(MeterBlock::B), 59);
    }

    void decodeEveryColumn_data()
    {
        QTest::addColumn<MeterBlock>("block");
        QTest::addColumn<QVector<int>>("floatIndex");   // per column of the block
        QTest::addColumn<int>("firstColumn");
        // Block A: floats 12-14, 16-18, 20-22 and 24-26 are the skipped ones.
        QTest::newRow("A") << MeterBlock::A
                           << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 19, 23, 27, 28} << 1;
        QVector<int> b;
        for (int j = 0; j < 14; ++j)
            b << j;
        QTest::newRow("B") << MeterBlock::B << b << 18;
    }

    void decodeEveryColumn()
    {
        QFETCH(MeterBlock, block);
        QFETCH(QVector<int>, floatIndex);
        QFETCH(int, firstColumn);
        const QByteArray data = distinctData(block);
        float poll[kPollBufferSize];
        std::fill(poll, poll + kPollBufferSize, -1.0f);
        decodeBlock(bytes(data), block, poll);
        for (int k = 0; k < kPollBufferSize; ++k) {
            const int i = k - firstColumn;
            if (i >= 0 && i < floatIndex.size())
                QCOMPARE(poll[k], 1000.0f + floatIndex[i]);
            else
                QCOMPARE(poll[k], -1.0f);   // other slots, slot 0 included, untouched
        }
    }

    void decodeKnownFloat()
    {
        QByteArray data = hex("43 66 00 00") + QByteArray(112, '\0');
        float poll[kPollBufferSize] = {};
        decodeBlock(bytes(data), MeterBlock::A, poll);
        QCOMPARE(poll[1], 230.0f);
        QCOMPARE(decodeFloat(bytes(hex("42 48 00 00"))), 50.0f);
        QCOMPARE(decodeFloat(bytes(hex("c2 48 00 00"))), -50.0f);
    }

    void checkRtu_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("address");
        QTest::addColumn<MeterBlock>("block");
        QTest::addColumn<int>("code");
        const QByteArray a = rtuReply(1, distinctData(MeterBlock::A));
        const QByteArray b = rtuReply(1, distinctData(MeterBlock::B));
        QTest::newRow("A good") << a << 1 << MeterBlock::A << int(ComOk);
        QTest::newRow("B good") << b << 1 << MeterBlock::B << int(ComOk);
        QTest::newRow("address 200") << rtuReply(200, distinctData(MeterBlock::A)) << 200
                                     << MeterBlock::A << int(ComOk);
        QTest::newRow("reply of block B to A") << b << 1 << MeterBlock::A << int(ComLengthError);
        QTest::newRow("one byte too many") << a + QByteArray(1, '\0') << 1 << MeterBlock::A << int(ComLengthError);
        QTest::newRow("one byte too few") << a.left(120) << 1 << MeterBlock::A << int(ComLengthError);
        QTest::newRow("exception") << withCrc(hex("01 84 02")) << 1 << MeterBlock::A << int(ComLengthError);
        QTest::newRow("nothing") << QByteArray() << 1 << MeterBlock::B << int(ComLengthError);
        QByteArray wrongAddress = a;
        wrongAddress[0] = 2;
        QTest::newRow("other address") << withCrc(wrongAddress.left(119)) << 1 << MeterBlock::A
                                       << int(ComReceiveError);
        QByteArray function = a;
        function[1] = char(0x84);
        QTest::newRow("function 0x84") << withCrc(function.left(119)) << 1 << MeterBlock::A << int(ComReceiveError);
        QByteArray count = b;
        count[2] = 55;
        QTest::newRow("byte count") << withCrc(count.left(59)) << 1 << MeterBlock::B << int(ComReceiveError);
        // The checks come in a fixed order: length, then header, then CRC.
        QByteArray headerAndCrc = a;
        headerAndCrc[0] = 2;   // CRC left as computed for address 1
        QTest::newRow("wrong header and wrong crc") << headerAndCrc << 1 << MeterBlock::A << int(ComReceiveError);
        QByteArray countAndCrc = b;
        countAndCrc[2] = 55;
        QTest::newRow("wrong count and wrong crc") << countAndCrc << 1 << MeterBlock::B << int(ComReceiveError);
        QTest::newRow("wrong length, header and crc") << QByteArray(1, '\x02') + a << 1 << MeterBlock::A
                                                      << int(ComLengthError);
        QByteArray crcLow = a;
        crcLow[119] = char(crcLow[119] ^ 1);
        QTest::newRow("crc low byte") << crcLow << 1 << MeterBlock::A << int(ComCrcError);
        QByteArray crcSwapped = b;
        const char low = crcSwapped[59];
        crcSwapped[59] = crcSwapped[60];
        crcSwapped[60] = low;
        QTest::newRow("crc bytes swapped") << crcSwapped << 1 << MeterBlock::B << int(ComCrcError);
        QByteArray data = b;
        data[10] = char(data[10] ^ 0x40);
        QTest::newRow("data corrupted") << data << 1 << MeterBlock::B << int(ComCrcError);
    }

    void checkRtu()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, address);
        QFETCH(MeterBlock, block);
        QFETCH(int, code);
        QCOMPARE(checkRtuReply(bytes(reply), reply.size(), address, block), code);
    }

    void checkTcp_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<MeterBlock>("block");
        QTest::addColumn<int>("code");
        const QByteArray a = tcpReply(MeterBlock::A, distinctData(MeterBlock::A));
        const QByteArray b = tcpReply(MeterBlock::B, distinctData(MeterBlock::B));
        QTest::newRow("A good") << a << MeterBlock::A << int(ComOk);
        QTest::newRow("B good") << b << MeterBlock::B << int(ComOk);
        QByteArray t = a;
        t[1] = 7;
        QTest::newRow("transaction 7") << t << MeterBlock::A << int(ComOk);
        QByteArray u = a;
        u[6] = 9;
        QTest::newRow("unit 9") << u << MeterBlock::A << int(ComOk);
        QByteArray f = b;
        f[7] = char(0x84);
        QTest::newRow("function 0x84") << f << MeterBlock::B << int(ComOk);
        QByteArray len = a;
        len[5] = 118;
        QTest::newRow("length field 118") << len << MeterBlock::A << int(ComReceiveError);
        QByteArray proto = b;
        proto[3] = 1;
        QTest::newRow("protocol 1") << proto << MeterBlock::B << int(ComReceiveError);
        QTest::newRow("one short") << a.left(124) << MeterBlock::A << int(ComLengthError);
        QTest::newRow("one long") << b + QByteArray(1, '\0') << MeterBlock::B << int(ComLengthError);
        QTest::newRow("exception") << hex("0000 0000 0003 01 84 04") << MeterBlock::A << int(ComLengthError);
    }

    void checkTcp()
    {
        QFETCH(QByteArray, reply);
        QFETCH(MeterBlock, block);
        QFETCH(int, code);
        QCOMPARE(checkTcpReply(bytes(reply), reply.size(), block), code);
    }

    void hexReport_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("request") << hex("01 04 75 31 00 3a 3b da") << 8 << QStringLiteral("01 04 75 31 00 3a 3b da ");
        QTest::newRow("upper nibbles") << hex("ff a0 0f") << 3 << QStringLiteral("ff a0 0f ");
        QTest::newRow("prefix only") << hex("ff a0 0f") << 1 << QStringLiteral("ff ");
        QTest::newRow("zero bytes") << hex("ff") << 0 << QString();
        QTest::newRow("negative") << hex("ff") << -1 << QString();
    }

    void hexReport()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(::hexReport(bytes(input), n), expected);
    }

    void hostPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("plain") << "192.168.1.20" << true << "192.168.1.20" << 502;
        QTest::newRow("with port") << "127.0.0.1:1502" << true << "127.0.0.1" << 1502;
        QTest::newRow("name") << "meter" << true << "meter" << 502;
        QTest::newRow("bare v6") << "::1" << true << "::1" << 502;
        QTest::newRow("bracketed v6") << "[::1]:1502" << true << "::1" << 1502;
        QTest::newRow("empty") << "" << false << "" << 0;
        QTest::newRow("blank") << "   " << false << "" << 0;
        QTest::newRow("no host") << ":1502" << false << "" << 0;
        QTest::newRow("empty port") << "10.0.0.1:" << false << "" << 0;
        QTest::newRow("port 0") << "10.0.0.1:0" << false << "" << 0;
        QTest::newRow("port too big") << "10.0.0.1:65536" << false << "" << 0;
        QTest::newRow("port text") << "10.0.0.1:abc" << false << "" << 0;
        QTest::newRow("unclosed bracket") << "[::1:502" << false << "" << 0;
    }

    void hostPort()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString h;
        quint16 p = 0;
        QCOMPARE(parseHostPort(text, &h, &p), ok);
        if (ok) {
            QCOMPARE(h, host);
            QCOMPARE(int(p), port);
        }
    }

    // The attempt budget of a poll, independent of any port: each string
    // is the outcome of successive attempts, and the attempts made are
    // recorded as "A" or "B".
    void attemptBudget_data()
    {
        QTest::addColumn<QVector<int>>("outcomes");
        QTest::addColumn<QString>("expectedAttempts");
        QTest::addColumn<int>("expectedResult");
        QTest::newRow("both at once") << QVector<int>{0, 0} << "AB" << 0;
        QTest::newRow("A retried once") << QVector<int>{4, 0, 0} << "AAB" << 0;
        QTest::newRow("B retried once") << QVector<int>{0, 7, 0} << "ABB" << 0;
        QTest::newRow("B fails twice") << QVector<int>{0, 7, 5} << "ABB" << 5;
        QTest::newRow("A fails three times") << QVector<int>{4, 4, 6} << "AAA" << 6;
        // A needed the whole budget: B still gets one attempt of its own.
        QTest::newRow("A on its third, B good") << QVector<int>{4, 5, 0, 0} << "AAAB" << 0;
        QTest::newRow("A on its third, B fails") << QVector<int>{4, 5, 0, 7} << "AAAB" << 7;
        QTest::newRow("send failure ends at once") << QVector<int>{3} << "A" << 3;
        QTest::newRow("send failure in B") << QVector<int>{4, 0, 3} << "AAB" << 3;
    }

    void attemptBudget()
    {
        QFETCH(QVector<int>, outcomes);
        QFETCH(QString, expectedAttempts);
        QFETCH(int, expectedResult);
        QString attempts;
        int next = 0;
        const int result = pollBlocks([&](MeterBlock block) {
            attempts += block == MeterBlock::A ? QLatin1Char('A') : QLatin1Char('B');
            return next < outcomes.size() ? outcomes[next++] : -1;
        });
        QCOMPARE(attempts, expectedAttempts);
        QCOMPARE(result, expectedResult);
    }
};

ZEP_TEST_MAIN_CORE(TestModbusFrame)
#include "tst_modbusframe.moc"
