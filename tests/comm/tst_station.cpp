// The acquisition core without a window, as a program without a display
// runs it: what its signals and counts say of which meter.

#include "comm/station.h"
#include "linktesting.h"
#include "realtime/metersession.h"
#include "coretesting.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestStation : public QObject
{
    Q_OBJECT

    // The meters at addresses 3 and 7.
    static StationConfig twoMeters(bool keepAcquiring)
    {
        StationConfig config;
        defaultComConfig(config.link);
        copyToField(config.link.interval, "1s");
        config.meters = {{QStringLiteral("进线柜"), 3}, {QStringLiteral("空调"), 7}};
        config.keepAcquiring = keepAcquiring;
        return config;
    }

private slots:
    // Every frame, fault, count and growth is told of the meter it is about;
    // a station without meters, or one already running, does not start.
    void signalsNameTheMeter()
    {
        Station station;
        QVERIFY(!station.start({twoMeters(true).link, {}}));
        station.setLinkFactory([](const ComConfig &c) { return std::make_unique<AddressedLink>(c, 7, QList<int>{2}); });
        QSignalSpy frames(&station, &Station::frameReported), events(&station, &Station::eventLogged),
            grown(&station, &Station::seriesGrew), finished(&station, &Station::finished);
        QVERIFY(station.start(twoMeters(true)));
        QVERIFY(!station.start(twoMeters(true)));
        QCOMPARE(station.session(1).meter().addr, 7);
        QTRY_VERIFY_WITH_TIMEOUT(station.session(1).pollFaults.slotCount >= 3, 10000);
        station.stop();
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(!station.samplingThread() && !station.isAcquiring());

        const int rows = station.session(0).series().sizeWithPending();
        QCOMPARE(station.session(1).series().sizeWithPending(), rows - 1);
        QCOMPARE(station.session(0).pollFaults.count, 0);
        QCOMPARE(station.session(1).pollFaults.count, 1);
        QCOMPARE(station.session(1).pollFaults.missed, 1);
        // The failed poll and the answer after it, of meter 7 alone.
        QStringList meterLines;
        for (const QList<QVariant> &e : events)
            if (e.at(0).toInt() >= 0)
                meterLines << e.at(1).value<EventLine>().meter + ' ' + e.at(1).value<EventLine>().text.section("（", 0, 0);
        QCOMPARE(meterLines, QStringList({"空调 通讯失败：通讯超时", "空调 恢复通讯，此前失败 1 次"}));
        QList<int> grownMeters;
        for (const QList<QVariant> &g : grown)
            grownMeters << g.at(0).toInt();
        QCOMPARE(grownMeters.count(0), rows);
        QCOMPARE(grownMeters.count(1), rows - 1);
        QCOMPARE(frames.size(), 2 * rows);
        for (const QList<QVariant> &f : frames)
            QCOMPARE(f.at(1).toString(), QString(f.at(0).toInt() ? "7" : "3"));
    }

    // Not going on through faults, a meter's error ends its part alone, and
    // the other meter polls on; the link's error, or a link that does not
    // open, ends the run. Kept on, a fault of the link is every meter's,
    // logged once.
    void errorsEndTheirPart_data()
    {
        QTest::addColumn<bool>("keepOn");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("meter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("port"); // a real serial port instead of the fake link
        QTest::newRow("the meter's") << false << int(ComTimeout) << 1 << "电表“空调”（地址 7）：通讯超时" << QByteArray();
        QTest::newRow("the link's") << false << int(ComNotConnected) << -1 << "尚未连接主机" << QByteArray();
        QTest::newRow("the link's, kept on") << true << int(ComNotConnected) << -1 << "" << QByteArray();
        QTest::newRow("no such port") << false << int(ComOpenFailed) << -1 << "串口/nonexistent/ttyZEP打开失败"
                                      << QByteArray("/nonexistent/ttyZEP");
    }

    void errorsEndTheirPart()
    {
        QFETCH(bool, keepOn);
        QFETCH(int, code);
        QFETCH(int, meter);
        QFETCH(QString, text);
        QFETCH(QByteArray, port);
        Station station;
        StationConfig config = twoMeters(keepOn);
        if (port.isEmpty()) {
            station.setLinkFactory([code](const ComConfig &c) {
                auto link = std::make_unique<AddressedLink>(c, 7, QList<int>{2});
                link->failCode = code;
                return link;
            });
        } else {
            copyToField(config.link.com, port);
        }
        QSignalSpy errors(&station, &Station::communicationError), events(&station, &Station::eventLogged),
            finished(&station, &Station::finished);
        QVERIFY(station.start(config));
        if (keepOn) {
            // The link's fault, logged once for the station, and its reopening.
            QTRY_COMPARE_WITH_TIMEOUT(events.size(), 4, 5000);
            QCOMPARE(events.at(2).at(0).toInt(), -1);
            QCOMPARE(events.at(2).at(1).value<EventLine>().text, QStringLiteral("连接失败：尚未连接主机"));
            QVERIFY(events.at(3).at(1).value<EventLine>().text.startsWith(QStringLiteral("连接已打开：串口 COM1，此前失败 1 次（")));
            for (int m : {0, 1})
                QCOMPARE(station.session(m).pollFaults.count, 1);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 5000);
            QCOMPARE(errors.at(0).at(0).toInt(), meter);
            QCOMPARE(int(errors.at(0).at(1).value<SamplingThread::ComErrType>()), code);
            QCOMPARE(stationErrorText(station.config(), meter, code), text);
        }
        const int rows = station.session(0).series().sizeWithPending();
        if (meter < 0 && !keepOn) {
            QTRY_COMPARE(finished.size(), 1);
            QVERIFY(!station.isAcquiring());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(station.session(0).series().sizeWithPending() > rows, 3000);
            QVERIFY(station.isAcquiring());
        }
        station.stop();
        QCOMPARE(errors.size(), keepOn ? 0 : 1);
    }

    // Each meter's daily files in a folder of its own, named after it, and
    // each event-log line about it too; a lone meter's as always.
    void meterFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "进线柜" << "12-进线柜";
        QTest::newRow("what a file name cannot hold") << "A/B:C*?\"<>|\t" << "12-A_B_C_______";
        QTest::newRow("a trailing dot") << "柜." << "12-柜_";
    }

    void meterFolders()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        const QVector<MeterConfig> meters{{QStringLiteral("电表1"), 1}, {name, 12}};
        QCOMPARE(meterDailySubfolder(meters, 1), folder);
        QCOMPARE(meterDailySubfolder(meters.mid(1), 0), QString());
        QCOMPARE(meterLogName(meters, 1), name);
        QCOMPARE(meterLogName(meters, -1) + meterLogName(meters.mid(1), 0), name);
    }

    // The log on disk while the clock passes midnight: the station's lines
    // in the daily folder, the failing meter's in its own, every line in the
    // file of its day; the meter's failed polls one run, its back-off and
    // return; every line the window hears of is on disk.
    void logOnDisk()
    {
        QTemporaryDir days;
        Station station;
        station.setLinkFactory([](const ComConfig &c) { return std::make_unique<AddressedLink>(c, 7, QList<int>{2, 3, 4}); });
        const QDateTime midnight(QDate(2025, 1, 7), QTime(0, 0));
        QElapsedTimer clock;
        clock.start();
        station.setClock([&] { return midnight.addMSecs(clock.elapsed() - 2500); });
        QSignalSpy events(&station, &Station::eventLogged);
        StationConfig config = twoMeters(true);
        config.dailyFolder = days.path();
        QVERIFY(station.start(config));
        QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty() && events.last().at(1).value<EventLine>().text == "恢复每个周期轮询", 15000);
        station.stop();

        const QVector<EventLine> today = station.todaysLog();
        QStringList texts;
        for (const QString &folder : {QString(), QStringLiteral("7-空调")}) {
            for (const QDate day : {midnight.date().addDays(-1), midnight.date()}) {
                const QString path = QDir(days.filePath(folder)).filePath(eventLogFileName(day));
                for (const EventLine &line : readEventLogs({path})) {
                    QCOMPARE(line.time.date(), day);
                    QCOMPARE(line.meter, folder.isEmpty() ? QString() : QStringLiteral("空调"));
                    texts << line.text.section("（", 0, 0);
                }
            }
        }
        QCOMPARE(texts, QStringList({"开始采集：串口 COM1，间隔 1s，电表：进线柜", "连接已打开：串口 COM1", "停止采集",
                                     "通讯失败：通讯超时",
                                     "连续 3 次无应答，暂时减少轮询", "恢复通讯，此前失败 3 次", "恢复每个周期轮询"}));
        QVERIFY(QDir(days.filePath(QStringLiteral("3-进线柜"))).entryList({QStringLiteral("*.log")}).isEmpty());
        QCOMPARE(texts.size(), events.size());
        QVERIFY(!today.isEmpty() && today.size() < events.size());
        QCOMPARE(today.last().text, QStringLiteral("停止采集"));
        QFile first(days.filePath(eventLogFileName(midnight.date().addDays(-1))));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(first.readLine()).contains(QRegularExpression("^2025-01-06 23:59:5\\d\\.\\d{3}\t\t开始采集：")));
    }
};

ZEP_TEST_MAIN_CORE(TestStation)
#include "tst_station.moc"
