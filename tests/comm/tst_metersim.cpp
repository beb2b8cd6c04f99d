// The meter simulator seen from outside: libmodbus as an independent
// master, its command line, its exit, and its data-file mode.

#include "comm/modbusframe.h"
#include "data/datafile.h"
#include "simprocess.h"
#include "coretesting.h"

#include <modbus/modbus.h>

#include <cerrno>
#include <csignal>

namespace {

// Reads both blocks as a generic master would and decodes them the way the
// meter documents its registers.
bool readMeter(modbus_t *ctx, float *values)
{
    uint16_t a[58];
    uint16_t b[28];
    if (modbus_read_input_registers(ctx, 30001, 58, a) != 58 || modbus_read_input_registers(ctx, 35401, 28, b) != 28)
        return false;
    const auto at = [](const uint16_t *regs, int offset) {
        const uint8_t bytes[4] = {uint8_t(regs[offset / 2] >> 8), uint8_t(regs[offset / 2]),
                                  uint8_t(regs[offset / 2 + 1] >> 8), uint8_t(regs[offset / 2 + 1])};
        return decodeFloat(bytes);
    };
    for (int k = 1; k <= 17; ++k)
        values[k] = at(a, columnDataOffset(MeterBlock::A, k));
    for (int k = 18; k <= 31; ++k)
        values[k] = at(b, columnDataOffset(MeterBlock::B, k));
    // The skipped floats hold the per-phase powers and power factors.
    for (int i = 0; i < 3; ++i) {
        const double p = at(a, 48 + 4 * i);
        const double q = at(a, 64 + 4 * i);
        const double s = at(a, 80 + 4 * i);
        if (std::fabs(s * s - (p * p + q * q)) > 1e-3 * s * s || std::fabs(at(a, 96 + 4 * i) - p / s) > 1e-4)
            return false;
    }
    return true;
}

struct ModbusContext {
    explicit ModbusContext(modbus_t *c)
        : ctx(c)
    {
    }
    ~ModbusContext()
    {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
    }
    ModbusContext(const ModbusContext &) = delete;
    ModbusContext &operator=(const ModbusContext &) = delete;
    modbus_t *ctx;
};

} // namespace

class TestMeterSim : public QObject
{
    Q_OBJECT

private slots:
    void tcpAnswersAGenericMaster()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp());
        for (int client = 0; client < 2; ++client) {
            ModbusContext m(modbus_new_tcp("127.0.0.1", sim.port));
            QVERIFY(m.ctx);
            QCOMPARE(modbus_connect(m.ctx), 0);
            modbus_set_slave(m.ctx, 1);
            float v[kPollBufferSize] = {};
            QVERIFY(readMeter(m.ctx, v));
            checkPlausibleReading(v);

            // Outside the two blocks and for other functions: exceptions,
            // as from a real meter.
            uint16_t regs[4];
            QCOMPARE(modbus_read_input_registers(m.ctx, 100, 2, regs), -1);
            QCOMPARE(errno, int(EMBXILADD));
            QCOMPARE(modbus_read_registers(m.ctx, 30001, 2, regs), -1);
            QCOMPARE(errno, int(EMBXILADD));
        }
        QVERIFY(sim.waitForLog(QStringLiteral("#8 unit 1 function 3 address 30001 count 2")));
        QCOMPARE(sim.stop(), 0);
        QVERIFY(sim.log().contains(QLatin1String("stopped")));
    }

    void otherUnitsGetNoAnswer()
    {
        SimProcess sim;
        QVERIFY(sim.startTcp({"--unit", "5"}));
        ModbusContext m(modbus_new_tcp("127.0.0.1", sim.port));
        QCOMPARE(modbus_connect(m.ctx), 0);
        modbus_set_response_timeout(m.ctx, 0, 300000);
        uint16_t regs[2];
        modbus_set_slave(m.ctx, 6);
        QCOMPARE(modbus_read_input_registers(m.ctx, 30001, 2, regs), -1);
        modbus_flush(m.ctx);
        modbus_set_slave(m.ctx, 5);
        QCOMPARE(modbus_read_input_registers(m.ctx, 30001, 2, regs), 2);
    }

    void rtuAnswersAGenericMaster()
    {
        SimProcess sim;
        QVERIFY(sim.startRtu({"--unit", "3", "--baud", "19200", "--parity", "Odd"}));
        ModbusContext m(modbus_new_rtu(sim.linkPath.toLocal8Bit().constData(), 19200, 'O', 8, 1));
        QVERIFY(m.ctx);
        QCOMPARE(modbus_connect(m.ctx), 0);
        modbus_set_slave(m.ctx, 3);
        float first[kPollBufferSize] = {};
        float second[kPollBufferSize] = {};
        QVERIFY(readMeter(m.ctx, first));
        QVERIFY(readMeter(m.ctx, second));
        checkPlausibleReading(first);
        checkPlausibleReading(second);
        QVERIFY(!std::equal(first + 1, first + kPollBufferSize, second + 1));
    }

    // Several meters on one line or behind one gateway: each unit answers
    // with a load of its own, faults go to the unit they name (unit 2
    // fails every 3rd request of its own), and a dead unit, like one not on
    // the line, never answers.
    void severalUnits_data() { exitsCleanlyOnInterrupt_data(); }

    void severalUnits()
    {
        QFETCH(bool, rtu);
        SimProcess sim;
        const QStringList args{"--units", "1,2,3", "--fault", "3:dead", "--fault", "2:exception", "--fault-every", "3"};
        QVERIFY(rtu ? sim.startRtu(args) : sim.startTcp(args));
        ModbusContext m(rtu ? modbus_new_rtu(sim.linkPath.toLocal8Bit().constData(), 9600, 'N', 8, 1)
                            : modbus_new_tcp("127.0.0.1", sim.port));
        QCOMPARE(modbus_connect(m.ctx), 0);
        modbus_set_response_timeout(m.ctx, 0, 300000);
        float one[kPollBufferSize] = {}, two[kPollBufferSize] = {};
        modbus_set_slave(m.ctx, 1);
        QVERIFY(readMeter(m.ctx, one));
        modbus_set_slave(m.ctx, 2);
        QVERIFY(readMeter(m.ctx, two));
        checkPlausibleReading(two);
        // The same supply, another feeder.
        QVERIFY(std::fabs(one[1] - two[1]) < 1 && two[12] > 1.5 * one[12]);
        uint16_t regs[2];
        QCOMPARE(modbus_read_input_registers(m.ctx, 30001, 2, regs), -1);
        QCOMPARE(modbus_read_input_registers(m.ctx, 30001, 2, regs), 2);
        for (int unit : {3, 4}) {
            modbus_set_slave(m.ctx, unit);
            QCOMPARE(modbus_read_input_registers(m.ctx, 30001, 2, regs), -1);
            QCOMPARE(errno, int(ETIMEDOUT));
        }
        QVERIFY(sim.waitForLog(QStringLiteral("#1 unit 3 function 4 address 30001 count 2 fault dead")));
    }

    void exitsCleanlyOnInterrupt_data()
    {
        QTest::addColumn<bool>("rtu");
        QTest::newRow("tcp") << false;
        QTest::newRow("rtu") << true;
    }

    void exitsCleanlyOnInterrupt()
    {
        QFETCH(bool, rtu);
        SimProcess sim;
        QVERIFY(rtu ? sim.startRtu() : sim.startTcp());
        QCOMPARE(::kill(static_cast<pid_t>(sim.process.processId()), SIGINT), 0);
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        if (rtu)
            QVERIFY(!QFileInfo::exists(sim.linkPath) && !QFileInfo(sim.linkPath).isSymLink());
    }

    void refusesWhatItCannotDo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown fault") << QStringList{"--fault", "melt"};
        QTest::newRow("slow without time") << QStringList{"--fault", "slow"};
        QTest::newRow("crc over tcp") << QStringList{"--fault", "crc"};
        QTest::newRow("split over tcp") << QStringList{"--fault", "split"};
        QTest::newRow("garbage over tcp") << QStringList{"--fault", "garbage"};
        QTest::newRow("drop over rtu") << QStringList{"--rtu", "/tmp/x", "--fault", "drop-after=2"};
        QTest::newRow("both links") << QStringList{"--rtu", "/tmp/x", "--tcp", "127.0.0.1:0"};
        QTest::newRow("bad port") << QStringList{"--tcp", "127.0.0.1:70000"};
        QTest::newRow("bad unit") << QStringList{"--unit", "256"};
        QTest::newRow("a unit twice") << QStringList{"--units", "1,2,1"};
        QTest::newRow("fault of a unit not served") << QStringList{"--units", "1,2", "--fault", "3:dead"};
        QTest::newRow("fault-on zero") << QStringList{"--fault", "crc", "--fault-on", "0"};
        QTest::newRow("records missing") << QStringList{"--write-file", "x.txt"};
        QTest::newRow("bad start") << QStringList{"--write-file", "x.txt", "--records", "2", "--start", "today"};
    }

    void refusesWhatItCannotDo()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(QStringLiteral(ZEP_METER_SIM), args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
    }

    // The link path never replaces a file that is not a link.
    void rtuKeepsAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/precious");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        QProcess p;
        p.start(QStringLiteral(ZEP_METER_SIM), {QStringLiteral("--rtu"), path});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));
    }

    void writesADataFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/sim.txt");
        QProcess p;
        p.start(QStringLiteral(ZEP_METER_SIM), {QStringLiteral("--write-file"), path, QStringLiteral("--records"),
                                                QStringLiteral("25"), QStringLiteral("--interval"), QStringLiteral("5"),
                                                QStringLiteral("--start"), QStringLiteral("2024/03/01 12:00:00")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(countRecords(path), 25);

        const int count = countRecords(path);
        DataFile file(path, static_cast<quint32>(count));
        QCOMPARE(readRecords(&file), 25);
        const uint32_t start =
            static_cast<uint32_t>(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0)).toSecsSinceEpoch());
        QCOMPARE(file.records[0].time, start);
        QCOMPARE(file.records[24].time, start + 24 * 5);
        for (quint32 i = 0; i < file.count; ++i) {
            const SampleRecord &r = file.records[i];
            QVERIFY(r.value(1) > 218 && r.value(1) < 232);
            QVERIFY(std::fabs(r.value(4) - (r.value(1) + r.value(2) + r.value(3)) / 3) < 0.02);
            QVERIFY(std::fabs(r.value(17) - 50) < 0.1);
            QVERIFY(std::fabs(r.value(16) - r.value(13) / r.value(15)) < 0.002);
        }
    }
};

ZEP_TEST_MAIN_CORE(TestMeterSim)
#include "tst_metersim.moc"
