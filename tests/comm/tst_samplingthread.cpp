// The sampling thread against the meter simulator, over TCP and over a
// pseudo-terminal: what reaches the live stores, when a run ends, and what it
// reports on the way.

#include "comm/meterlink.h"
#include "comm/pollfaults.h"
#include "comm/pollgrid.h"
#include "comm/samplingthread.h"
#include "data/datafile.h"
#include "realtime/livejournal.h"
#include "realtime/metersession.h"
#include "realtime/polllistener.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "linktesting.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaType>
#include <QSignalSpy>
#include <QTcpServer>

#include <memory>

constexpr int kStores = kColumnCount - 1;

// A receiver in the main thread, as the main window is for warning().
class WarningSink : public QObject
{
    Q_OBJECT

public:
    QList<int> kinds;
    QList<int> meters;
    QList<QThread *> threads;

public slots:
    void onWarning(int meter, SamplingThread::ComErrType kind)
    {
        meters << meter;
        kinds << int(kind);
        threads << QThread::currentThread();
    }
};

// The thread's warnings as the main thread receives them: queued, the way
// the main window gets them. (A spy connected directly would be written by
// the sampling thread and read here after QThread::wait, a hand-over that
// ThreadSanitizer cannot see inside Qt.)
class QueuedWarnings : public WarningSink
{
public:
    WarningSink faults;  // the failed polls of a run that goes on
    QPair<int, int> slotCount{0, 0};  // its slots and missed slots so far, of the last meter counted
    QMap<int, QPair<int, int>> meterSlots;  // the same of each meter
    QStringList frames;  // the link's reports, in order
    QList<int> frameMeters;

    explicit QueuedWarnings(SamplingThread *thread)
    {
        connect(thread, &SamplingThread::warning, this, &WarningSink::onWarning, Qt::QueuedConnection);
        connect(thread, &SamplingThread::pollFailed, this,
                [this](int meter, SamplingThread::ComErrType kind) { faults.onWarning(meter, kind); },
                Qt::QueuedConnection);
        connect(thread, &SamplingThread::slotsCounted, this,
                [this](int meter, int n, int missed) { meterSlots[meter] = slotCount = {n, missed}; },
                Qt::QueuedConnection);
        connect(thread, &SamplingThread::frameReported, this,
                [this](int meter, const QString &frame) { frameMeters << meter; frames << frame; }, Qt::QueuedConnection);
    }
    int frameCount()
    {
        QCoreApplication::processEvents();
        return frames.size();
    }
    int size()
    {
        QCoreApplication::processEvents();
        return kinds.size();
    }
    SamplingThread::ComErrType at(int i)
    {
        QCoreApplication::processEvents();
        return SamplingThread::ComErrType(kinds.at(i));
    }
};

namespace {

// What a run handed to a listener: stored polls, missed ones, ends. Read
// only after the thread has been waited for.
struct CountingListener : PollListener {
    QVector<int> counts{0, 0, 0};
    void pollStored(uint32_t, const SampleRecord &) override { ++counts[0]; }
    void pollMissed() override { ++counts[1]; }
    void runEnded() override { ++counts[2]; }
};

// Polls that take the script's times (10 ms beyond it) and fail where it says.
struct ScriptedLink : MeterLink {
    ScriptedLink(const ComConfig &c, QList<int> ms, QList<int> failing) : MeterLink(c), ms(ms), failing(failing) {}
    int open() override { return ComOk; }
    void close() override {}
    int readValues(int, float *) override
    {
        QThread::msleep(static_cast<unsigned long>(ms.value(polls, 10)));
        return failing.contains(++polls) ? int(ComTimeout) : int(ComOk);
    }
    QList<int> ms, failing;
    int polls = 0;
};

// The meter of the settings, a new one for each test.
std::shared_ptr<MeterSession> meter;

QVector<int> storeSizes()
{
    QVector<int> sizes(kStores);
    SignalData &s = meter->series();
    s.lock();
    for (int k = 0; k < kStores; ++k)
        sizes[k] = s.size();
    s.unlock();
    return sizes;
}

// Requests the simulator has logged, each "#n unit ..." line once.
int requestsServed(SimProcess &sim)
{
    return sim.log().count(QRegularExpression(QStringLiteral("(^|\\n)#\\d+ unit ")));
}

// Starts the simulator and points the settings at it, with the interval.
bool startSimulator(SimProcess &sim, bool tcp, const QStringList &extra, ComConfig *settings, const char *interval)
{
    if (!(tcp ? sim.startTcp(extra) : sim.startRtu(extra)))
        return false;
    *settings = tcp ? tcpConfig(sim.address()) : serialConfig(sim.linkPath);
    copyToField(settings->interval, QByteArray(interval));
    return true;
}

// Every store holds the same rows, each poll's values under one time, all
// of them plausible readings of a live supply taken while the test ran.
void checkRows(int rows, uint firstTime, uint lastTime)
{
    SignalData &s = meter->series();
    s.lock();
    QVector<QVector<QPointF>> columns(kStores);
    for (int k = 0; k < kStores; ++k) {
        for (int i = 0; i < s.size(); ++i)
            columns[k] << s.value(k, i);
    }
    s.unlock();
    for (int k = 0; k < kStores; ++k)
        QCOMPARE(columns[k].size(), rows);
    for (int i = 0; i < rows; ++i) {
        float reading[kColumnCount] = {};
        const double x = columns[0][i].x();
        QVERIFY2(x >= firstTime && x <= lastTime, qPrintable(QString::number(x, 'f', 0)));
        if (i > 0)
            QVERIFY(x >= columns[0][i - 1].x());
        for (int k = 0; k < kStores; ++k) {
            QCOMPARE(columns[k][i].x(), x);
            reading[k + 1] = float(columns[k][i].y());
        }
        checkPlausibleReading(reading);
        if (QTest::currentTestFailed())
            return;
    }
}

uint now()
{
    return uint(QDateTime::currentSecsSinceEpoch());
}

} // namespace

class TestSamplingThread : public QObject
{
    Q_OBJECT

    // What the main window would hand the thread; AppConfig keeps its
    // defaults, which the thread must never read.
    ComConfig settings;

private slots:
    void init()
    {
        meter = std::make_shared<MeterSession>(MeterConfig{QStringLiteral("电表1"), 1});
        defaultComConfig(AppConfig.comm);
        defaultComConfig(settings);
    }

    void cleanup() { meter.reset(); }

    void errorText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 success") << 0 << "通讯错误";
        QTest::newRow("1 open failed") << 1 << "串口COM7打开失败";
        QTest::newRow("2 port not open") << 2 << "串口未打开";
        QTest::newRow("3 send failed") << 3 << "发送数据失败";
        QTest::newRow("4 timeout") << 4 << "通讯超时";
        QTest::newRow("5 length") << 5 << "接收的数据包长度有误";
        QTest::newRow("6 receive") << 6 << "接收数据失败";
        QTest::newRow("7 crc") << 7 << "CRC校验错误";
        QTest::newRow("8 connect failed") << 8 << "主机连接失败";
        QTest::newRow("9 not connected") << 9 << "尚未连接主机";
        QTest::newRow("10 beyond the table") << 10 << "通讯错误";
        QTest::newRow("-1 below the table") << -1 << "通讯错误";
    }

    void errorText()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        copyToField(settings.com, "COM7");
        QCOMPARE(SamplingThread::errorText(kind, settings), text);
    }

    // The port name in the text is the one of the settings given.
    void errorTextNamesTheConfiguredPort()
    {
        copyToField(settings.com, "/dev/ttyUSB0");
        QCOMPARE(SamplingThread::errorText(SamplingThread::ComOpenFailed, settings),
                 QStringLiteral("串口/dev/ttyUSB0打开失败"));
    }

    // The address below the text, in the box and in the event log alike.
    void connectFailureNamesTheAddress_data()
    {
        QTest::addColumn<QByteArray>("ip");
        QTest::addColumn<QString>("address");
        QTest::newRow("host and port") << QByteArray("127.0.0.1:1502") << "127.0.0.1:1502";
        QTest::newRow("host alone: the Modbus port") << QByteArray(" 192.168.1.5 ") << "192.168.1.5:502";
        QTest::newRow("bare IPv6") << QByteArray("fe80::1") << "[fe80::1]:502";
        QTest::newRow("port out of range: as typed") << QByteArray("meter:70000") << "meter:70000";
        QTest::newRow("no address") << QByteArray() << "";
    }

    void connectFailureNamesTheAddress()
    {
        QFETCH(QByteArray, ip);
        QFETCH(QString, address);
        copyToField(settings.IP, ip);
        const QString text = address.isEmpty() ? QStringLiteral("主机连接失败") : "主机连接失败\n" + address;
        QCOMPARE(SamplingThread::errorText(SamplingThread::ComConnectFailed, settings), text);
        QCOMPARE(pollFaultLogText(SamplingThread::ComConnectFailed, settings), QString(text).replace('\n', ' '));
    }

    void errorTypeIsRegisteredForQueuedDelivery()
    {
        SamplingThread thread;
        const int id = QMetaType::type("ComErrType");
        QVERIFY(id != QMetaType::UnknownType);
        QCOMPARE(id, qMetaTypeId<SamplingThread::ComErrType>());
        QCOMPARE(QMetaType::type("SamplingThread::ComErrType"), id);
    }

    // A link that cannot be opened is reported once, at once, and nothing is
    // polled. The warning crosses to the main thread by a queued connection,
    // as it does to the main window.
    void failedOpen_data()
    {
        QTest::addColumn<int>("comtype");
        QTest::addColumn<QByteArray>("com");
        QTest::addColumn<QByteArray>("ip");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("serial port that does not exist")
            << 0 << QByteArray("COM7") << QByteArray() << int(SamplingThread::ComOpenFailed) << "串口COM7打开失败";
        QTest::newRow("serial port with an empty name")
            << 0 << QByteArray() << QByteArray() << int(SamplingThread::ComOpenFailed) << "串口打开失败";
        QTest::newRow("tcp with an empty address")
            << 1 << QByteArray("COM7") << QByteArray() << int(SamplingThread::ComConnectFailed) << "主机连接失败";
        QTest::newRow("tcp to a closed port")
            << 1 << QByteArray("COM7") << QByteArray("closed") << int(SamplingThread::ComConnectFailed) << "主机连接失败";
    }

    void failedOpen()
    {
        QFETCH(int, comtype);
        QFETCH(QByteArray, com);
        QFETCH(QByteArray, ip);
        QFETCH(int, code);
        QFETCH(QString, text);
        if (ip == "closed") {
            // A port that was free a moment ago: refused at once.
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            ip = "127.0.0.1:" + QByteArray::number(probe.serverPort());
            probe.close();
        }
        settings.comtype = comtype;
        copyToField(settings.com, com);
        copyToField(settings.IP, ip);
        copyToField(settings.interval, "1s");

        QObject owner;
        WarningSink sink;
        auto *thread = new SamplingThread(&owner);
        thread->setSettings(settings);
        thread->setSessions({meter});
        QueuedWarnings warnings(thread);
        connect(thread, &SamplingThread::warning, &sink, &WarningSink::onWarning, Qt::QueuedConnection);
        thread->start();
        QVERIFY2(thread->wait(2000), "the run goes on after a failed open");

        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.at(0), SamplingThread::ComErrType(code));
        QTRY_COMPARE(sink.kinds.size(), 1);
        QCOMPARE(sink.kinds.at(0), code);
        QCOMPARE(sink.threads.at(0), QThread::currentThread());
        QCOMPARE(SamplingThread::errorText(sink.kinds.at(0), settings), ip.isEmpty() ? text : text + '\n' + ip);
        QCOMPARE(warnings.frameCount(), 0);
        QCOMPARE(storeSizes(), QVector<int>(kStores, 0));
    }

    // Polls once a second into all 31 stores until asked to stop; the stop
    // request ends the wait at once and is no error.
    void pollsUntilStopped_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("tcp") << true;
        QTest::newRow("pty") << false;
    }

    void pollsUntilStopped()
    {
        QFETCH(bool, tcp);
        SimProcess sim;
        QVERIFY(startSimulator(sim, tcp, {}, &settings, "1s"));

        QObject owner;
        auto *thread = new SamplingThread(&owner);
        thread->setSettings(settings);
        thread->setSessions({meter});
        QueuedWarnings warnings(thread);
        const uint firstTime = now();
        QElapsedTimer clock;
        clock.start();
        thread->start();
        // The test follows the run through the simulator's log rather than
        // through the stores, so that it never holds a store's lock while the
        // thread appends.
        QVERIFY(sim.waitForLog(QStringLiteral("#5 unit"), 10000));
        const qint64 thirdPoll = clock.elapsed();
        // The period runs from poll start to poll start, so the third poll
        // starts two whole periods after the first.
        QVERIFY2(thirdPoll >= 2000 - 50, qPrintable(QString::number(thirdPoll)));
        QVERIFY(sim.waitForLog(QStringLiteral("#6 unit"), 5000));
        thread->stop();
        QVERIFY2(thread->wait(2000), "the run did not end within 2 s of stop");
        const uint lastTime = now();

        QCOMPARE(warnings.size(), 0);
        const int rows = storeSizes().at(0);
        QVERIFY2(rows == 3 || rows == 4, qPrintable(QString::number(rows)));
        checkRows(rows, firstTime, lastTime);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(requestsServed(sim), 2 * rows);
        QTRY_COMPARE(warnings.frameCount(), 4 * rows);
        QCOMPARE(warnings.frameMeters.count(0), 4 * rows);
        PollResult frames;
        frames.reports = warnings.frames;
        QCOMPARE(frames.requestedBlocks(tcp), QStringLiteral("AB").repeated(rows));
        for (const QString &r : frames.reports)
            QVERIFY2(QRegularExpression(QStringLiteral("^([0-9a-f]{2} )+$")).match(r).hasMatch(), qPrintable(r));
    }

    // The interval runs from the start of one poll to the start of the
    // next, so the exchange is part of it: with 5 s and exchanges of about
    // 300 ms polls start 5 s apart, and an exchange longer than the interval
    // is followed by the next poll at once.
    void intervalFromPollStart_data()
    {
        QTest::addColumn<QByteArray>("interval");
        QTest::addColumn<int>("replyDelayMs");   // per request; a poll is two
        QTest::addColumn<int>("expectedGapMs");  // from poll start to poll start
        QTest::newRow("5 s, 300 ms exchanges") << QByteArray("5s") << 150 << 5000;
        QTest::newRow("1 s, 1.5 s exchanges") << QByteArray("1s") << 750 << 1500;
    }

    void intervalFromPollStart()
    {
        QFETCH(QByteArray, interval);
        QFETCH(int, replyDelayMs);
        QFETCH(int, expectedGapMs);
        SimProcess sim;
        QVERIFY(startSimulator(sim, true, {"--fault", "slow=" + QString::number(replyDelayMs)}, &settings,
                               interval.constData()));
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        QueuedWarnings warnings(&thread);
        QElapsedTimer clock;
        clock.start();
        thread.start();
        // Requests 1 and 3 open polls 1 and 2; 5 opens poll 3.
        QVERIFY(sim.waitForLog(QStringLiteral("#1 unit"), 10000));
        const qint64 first = clock.elapsed();
        QVERIFY(sim.waitForLog(QStringLiteral("#3 unit"), expectedGapMs + 5000));
        const qint64 second = clock.elapsed();
        QVERIFY(sim.waitForLog(QStringLiteral("#5 unit"), expectedGapMs + 5000));
        const qint64 third = clock.elapsed();
        thread.stop();
        QVERIFY(thread.wait(5000));
        QCOMPARE(warnings.size(), 0);
        // Counting from the end of a poll would add the exchange (300 ms) to
        // every gap, or a pause of 1 s after a long exchange. The log is
        // watched from here, which leaves some 50 ms of jitter.
        for (const qint64 gap : {second - first, third - second})
            QVERIFY2(gap >= expectedGapMs - 150 && gap < expectedGapMs + 150,
                     qPrintable(QStringLiteral("%1 ms between poll starts, %2 expected").arg(gap).arg(expectedGapMs)));
    }

    // A stop request in the middle of a long wait ends the run without
    // waiting for the interval or polling again.
    void stopDuringLongWait_data() { pollsUntilStopped_data(); }

    void stopDuringLongWait()
    {
        QFETCH(bool, tcp);
        SimProcess sim;
        QVERIFY(startSimulator(sim, tcp, {}, &settings, "20s"));
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        QueuedWarnings warnings(&thread);
        thread.start();
        QVERIFY(sim.waitForLog(QStringLiteral("#2 unit"), 10000));
        // Time for the reply and the append, so that the request meets the
        // thread in its wait.
        QTest::qWait(300);
        thread.stop();
        QVERIFY2(thread.wait(2000), "the run did not end within 2 s of stop");
        QCOMPARE(warnings.size(), 0);
        QCOMPARE(storeSizes(), QVector<int>(kStores, 1));
        QTRY_COMPARE(requestsServed(sim), 2);
    }

    // A stop request that comes before the run got going is not lost: the
    // caller waits for the thread without a time limit.
    void stopRightAfterStart_data() { pollsUntilStopped_data(); }

    void stopRightAfterStart()
    {
        QFETCH(bool, tcp);
        SimProcess sim;
        QVERIFY(startSimulator(sim, tcp, {}, &settings, "1s"));
        for (int i = 0; i < 5; ++i) {
            SamplingThread thread;
            thread.setSettings(settings);
            thread.setSessions({meter});
            QueuedWarnings warnings(&thread);
            thread.start();
            thread.stop();
            QVERIFY2(thread.wait(5000), "a stop request right after start was lost");
            QCOMPARE(warnings.size(), 0);
        }
    }

    // The first failed poll ends the run with one warning; what the polls
    // before it brought stays in the stores. Kept on, the run reports the
    // fault instead, opens the link again (over TCP a second connection,
    // then kept) and goes on; the failed poll adds nothing.
    void faultEndsRun_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("keepOn");
        // Polls 1 and 2 are requests 1 to 4; the third poll's block A fails
        // on all of its attempts.
        QTest::newRow("crc over pty") << false << QStringList{"--fault", "crc", "--fault-on", "5,6,7"}
                                      << int(SamplingThread::ComCrcError) << false;
        QTest::newRow("exception over tcp") << true << QStringList{"--fault", "exception", "--fault-on", "5,6,7"}
                                            << int(SamplingThread::ComLengthError) << false;
        QTest::newRow("connection dropped over tcp") << true << QStringList{"--fault", "drop-after=4"}
                                                     << int(SamplingThread::ComNotConnected) << false;
        QTest::newRow("kept on: time-out") << true << QStringList{"--fault", "silent", "--fault-on", "5,6,7"} << int(SamplingThread::ComTimeout) << true;
        QTest::newRow("kept on: crc over pty") << false << QStringList{"--fault", "crc", "--fault-on", "5,6,7"} << int(SamplingThread::ComCrcError) << true;
        // The meter hangs up instead of answering; the retry finds no line.
        QTest::newRow("kept on: hung up") << true << QStringList{"--fault", "close", "--fault-on", "5"} << int(SamplingThread::ComSendFailed) << true;
        QTest::newRow("kept on: dropped") << true << QStringList{"--fault", "drop-after=4"} << int(SamplingThread::ComNotConnected) << true;
    }

    void faultEndsRun()
    {
        QFETCH(bool, tcp);
        QFETCH(QStringList, fault);
        QFETCH(int, code);
        QFETCH(bool, keepOn);
        SimProcess sim;
        QVERIFY(startSimulator(sim, tcp, fault, &settings, "1s"));
        const uint firstTime = now();
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        thread.setKeepAcquiring(keepOn);
        const auto listener = std::make_shared<CountingListener>();
        meter->beginRun({listener}, nullptr);
        QueuedWarnings warnings(&thread);
        thread.start();
        if (keepOn) {
            QTRY_COMPARE_WITH_TIMEOUT(storeSizes().at(0), 4, 15000);
            thread.stop();
        }
        QVERIFY2(thread.wait(keepOn ? 2000 : 15000), "the run went on after the fault");
        QCOMPARE(warnings.size(), keepOn ? 0 : 1);
        QCOMPARE(keepOn ? warnings.faults.kinds : warnings.kinds, QList<int>{code});
        checkRows(keepOn ? storeSizes().at(0) : 2, firstTime, now());
        if (keepOn && tcp)
            QCOMPARE(sim.log().count(QStringLiteral("client connected")), 2);
        // Kept on, the slots that passed while the fault went on are missed too.
        QCOMPARE(listener->counts, (QVector<int>{storeSizes().at(0), keepOn ? warnings.slotCount.second : 0, 1}));
        QCOMPARE(warnings.slotCount.first, keepOn ? storeSizes().at(0) + listener->counts[1] : 0);
    }

    // A poll in progress runs to its end: with a silent meter that is all of
    // its attempts, each with its 3-second time-out, and the failure is still
    // reported.
    void stopWhileMeterIsSilent()
    {
        SimProcess sim;
        QVERIFY(startSimulator(sim, false, {"--fault", "silent", "--fault-on", "3,4,5"}, &settings, "1s"));
        const uint firstTime = now();
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        QueuedWarnings warnings(&thread);
        thread.start();
        QVERIFY(sim.waitForLog(QStringLiteral("#3 unit"), 10000));
        thread.stop();
        QElapsedTimer clock;
        clock.start();
        QVERIFY2(!thread.wait(3000), "the poll in progress was cut short");
        QVERIFY2(thread.wait(15000), "the run did not end after the poll's attempts");
        // Three 3-second time-outs, counted from a moment just after the
        // first request: no less, and not much more.
        QVERIFY2(clock.elapsed() >= 3 * 3000 - 1000 && clock.elapsed() < 3 * 3000 + 1000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.at(0), SamplingThread::ComTimeout);
        QTRY_COMPARE(requestsServed(sim), 5);
        checkRows(1, firstTime, now());
    }

    // Polls of slots 0, 1, 2 and 5 at 1 s, each 2 ms late, the wall clock
    // off by the error at each: stamps in seconds from the first slot's.
    void slotTime_data()
    {
        QTest::addColumn<QList<qint64>>("errorMs");
        QTest::addColumn<QList<int>>("stamps");
        QTest::newRow("steady") << QList<qint64>{0, 0, 0, 0} << QList<int>{0, 1, 2, 5};
        QTest::newRow("jitter is no setting") << QList<qint64>{0, 1900, -1900, 0} << QList<int>{0, 1, 2, 5};
        QTest::newRow("set forward an hour") << QList<qint64>{0, 0, 3600000, 3600000} << QList<int>{0, 1, 3602, 3605};
    }

    void slotTime()
    {
        QFETCH(QList<qint64>, errorMs);
        QFETCH(QList<int>, stamps);
        PollGrid grid(1000, 1700000000999);
        for (int i = 0; i < stamps.size(); ++i) {
            const qint64 slot = QList<qint64>{0, 1, 2, 5}.at(i), at = slot * 1000 + 2;
            QCOMPARE(int(grid.slotTime(slot, at, 1700000000999 + at + errorMs[i]) - 1700000000), stamps[i]);
        }
    }

    // Kept on, polls keep to the grid of the interval: slots that pass
    // during a long exchange or a fault are skipped and missed, never made
    // up, and each poll is stamped with its slot's time.
    void pollGrid_data()
    {
        QTest::addColumn<QList<int>>("exchangeMs");
        QTest::addColumn<QList<int>>("failing");
        QTest::addColumn<QList<int>>("storedSlots");
        QTest::newRow("long exchanges") << QList<int>{1500, 100, 2300} << QList<int>{} << QList<int>{0, 2, 3, 6};
        QTest::newRow("a fault of 3 s") << QList<int>{10, 3200} << QList<int>{2} << QList<int>{0, 5};
    }

    void pollGrid()
    {
        QFETCH(QList<int>, exchangeMs);
        QFETCH(QList<int>, failing);
        QFETCH(QList<int>, storedSlots);
        copyToField(settings.interval, "1s");
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        thread.setKeepAcquiring(true);
        thread.setLinkFactory([&](const ComConfig &c) { return std::make_unique<ScriptedLink>(c, exchangeMs, failing); });
        const auto listener = std::make_shared<CountingListener>();
        meter->beginRun({listener}, nullptr);
        QueuedWarnings warnings(&thread);
        thread.start();
        const int slotCount = storedSlots.last() + 1, missed = slotCount - storedSlots.size();
        QTRY_COMPARE_WITH_TIMEOUT(warnings.slotCount, qMakePair(slotCount, missed), 15000);
        thread.stop();
        QVERIFY(thread.wait(2000));
        QCOMPARE(warnings.faults.kinds.size(), failing.size());
        QCOMPARE(listener->counts, (QVector<int>{storedSlots.size(), missed, 1}));
        QCOMPARE(storeSizes().at(0), storedSlots.size());
        for (int i = 0; i < storedSlots.size(); ++i)
            QCOMPARE(meter->series().value(0, i).x() - storedSlots[i], meter->series().value(0, 0).x());
    }

    // Two meters on one link: each poll goes to its own meter's series,
    // journal and listeners, both polls of a slot with the slot's time; a
    // failed poll is its meter's alone, and a journal switched on one meter
    // during the run leaves the other's as it was and loses no poll.
    void metersShareTheLink()
    {
        copyToField(settings.interval, "1s");
        QTemporaryDir journals;
        const auto second = std::make_shared<MeterSession>(MeterConfig{QStringLiteral("电表2"), 7});
        meter->setMeter({QStringLiteral("电表1"), 3});
        const auto firstJournal = std::make_shared<LiveJournal>(journals.filePath("a"));
        const auto secondJournal = std::make_shared<LiveJournal>(journals.filePath("b"));
        meter->setJournal(firstJournal);
        second->setJournal(secondJournal);
        const auto heard = std::make_shared<CountingListener>(), heardSecond = std::make_shared<CountingListener>();
        meter->beginRun({heard}, nullptr);
        second->beginRun({heardSecond}, nullptr);
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setKeepAcquiring(true);
        thread.setSessions({meter, second});
        thread.setLinkFactory([](const ComConfig &c) { return std::make_unique<AddressedLink>(c, 7, QList<int>{2}); });
        QueuedWarnings warnings(&thread);
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(meter->series().sizeWithPending() >= 2, 5000);
        const auto switched = std::make_shared<LiveJournal>(journals.filePath("c"));
        meter->setJournal(switched);
        QTRY_VERIFY_WITH_TIMEOUT(warnings.slotCount.first >= 4, 10000);
        thread.stop();
        QVERIFY(thread.wait(2000));

        const int rows = meter->series().sizeWithPending();
        QCOMPARE(second->series().sizeWithPending(), rows - 1);
        QCOMPARE(warnings.faults.meters, QList<int>{1});
        QCOMPARE(heard->counts, (QVector<int>{rows, 0, 1}));
        QCOMPARE(heardSecond->counts, (QVector<int>{rows - 1, 1, 1}));
        QCOMPARE(warnings.frameCount(), 2 * rows);
        for (int i = 0; i < 2 * rows; ++i)
            QCOMPARE(warnings.frames[i] + QString::number(warnings.frameMeters[i]), QString(i % 2 ? "71" : "30"));
        for (int i = 0; i < rows; ++i) {
            // The second meter's second poll failed: its rows are slots 0, 2, 3 ...
            const QPointF first = meter->series().value(5, i), other = second->series().value(5, i == 0 ? 0 : i - 1);
            QCOMPARE(first.y(), 306.0);
            QCOMPARE(other.y(), 706.0);
            if (i != 1)
                QCOMPARE(other.x(), first.x());
        }
        QCOMPARE(countRecords(firstJournal->path()) + countRecords(switched->path()), rows);
        QVERIFY(countRecords(firstJournal->path()) >= 2);
        QCOMPARE(countRecords(secondJournal->path()), rows - 1);
    }

    // Five meters at 1 s, one dead (polled in slots 0, 1, 2, 4, 8), one slow
    // and one silent every third poll: each one's failures and missed slots
    // are its own, and the others keep every slot.
    void deadSlowAndFlakyMeters()
    {
        copyToField(settings.interval, "1s");
        std::vector<std::shared_ptr<MeterSession>> meters;
        for (int addr = 1; addr <= 5; ++addr)
            meters.push_back(std::make_shared<MeterSession>(MeterConfig{QString::number(addr), addr}));
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setKeepAcquiring(true);
        thread.setSessions(meters);
        thread.setLinkFactory([](const ComConfig &c) {
            auto link = std::make_unique<AddressedLink>(c, 0, QList<int>{});
            link->dead = {3};
            link->slowMs = {{4, 300}};
            link->flakyEvery = {{5, 3}};
            return link;
        });
        QueuedWarnings warnings(&thread);
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(warnings.meterSlots.value(4).first >= 9, 20000);
        thread.stop();
        QVERIFY(thread.wait(2000));
        QCoreApplication::processEvents();

        const int slotCount = warnings.meterSlots.value(0).first;
        for (int m : {0, 1, 3}) {
            QCOMPARE(warnings.meterSlots.value(m), qMakePair(slotCount, 0));
            // The slot the stop came in is not counted, but its polls stay.
            const int rows = meters[size_t(m)]->series().sizeWithPending();
            QVERIFY2(rows == slotCount || rows == slotCount + 1, qPrintable(QString::number(rows)));
        }
        QCOMPARE(meters[2]->series().sizeWithPending(), 0);
        QCOMPARE(warnings.frameMeters.count(2), 5);
        QCOMPARE(warnings.faults.meters.count(2), 5);
        QCOMPARE(warnings.meterSlots.value(2), qMakePair(slotCount, slotCount));
        QCOMPARE(warnings.faults.meters.count(4), slotCount / 3);
        QCOMPARE(warnings.meterSlots.value(4), qMakePair(slotCount, slotCount / 3));
    }

    // Kept on, Stop ends the wait for a meter that is away (refused, tried
    // once per interval) or silent at once.
    void stopWhileKeptOn_data()
    {
        QTest::addColumn<bool>("meterAway");
        QTest::newRow("reconnect wait") << true;
        QTest::newRow("silent poll") << false;
    }

    void stopWhileKeptOn()
    {
        QFETCH(bool, meterAway);
        SimProcess sim;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        settings = tcpConfig("127.0.0.1:" + QByteArray::number(probe.serverPort()));
        copyToField(settings.interval, "1s");
        probe.close();
        if (!meterAway)
            QVERIFY(startSimulator(sim, false, {"--fault", "silent", "--fault-on", "3,4,5"}, &settings, "1s"));
        SamplingThread thread;
        thread.setSettings(settings);
        thread.setSessions({meter});
        thread.setKeepAcquiring(true);
        QueuedWarnings warnings(&thread);
        thread.start();
        QTest::qWait(2500);
        thread.stop();
        QVERIFY2(thread.wait(1000), "Stop waited for the meter");
        QCOMPARE(warnings.size(), 0);
        // At 0, 1 and 2 s, refused: once per interval, not in a loop.
        QCOMPARE(warnings.faults.kinds.size(), meterAway ? 3 : 0);
    }

    // With nobody to take the frames, and whatever the owner, the run is
    // the same.
    void parentWithoutHub_data()
    {
        QTest::addColumn<bool>("withParent");
        QTest::newRow("plain parent") << true;
        QTest::newRow("no parent") << false;
    }

    void parentWithoutHub()
    {
        QFETCH(bool, withParent);
        SimProcess sim;
        QVERIFY(startSimulator(sim, true, {}, &settings, "10s"));
        QObject parent;
        std::unique_ptr<SamplingThread> owned;
        SamplingThread *thread;
        if (withParent) {
            thread = new SamplingThread(&parent);
        } else {
            owned.reset(new SamplingThread);
            thread = owned.get();
        }
        thread->setSettings(settings);
        thread->setSessions({meter});
        QueuedWarnings warnings(thread);
        thread->start();
        QVERIFY(sim.waitForLog(QStringLiteral("#2 unit"), 10000));
        thread->stop();
        QVERIFY(thread->wait(2000));
        QCOMPARE(warnings.size(), 0);
        QCOMPARE(storeSizes(), QVector<int>(kStores, 1));
    }
};

ZEP_TEST_MAIN_CORE(TestSamplingThread)
#include "tst_samplingthread.moc"
