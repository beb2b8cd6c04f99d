// The acquisition core without a window, as a program without a display
// runs it: what its signals and counts say of which meter.

#include "comm/station.h"
#include "linktesting.h"
#include "realtime/metersession.h"
#include "coretesting.h"

#include <QSignalSpy>

class TestStation : public QObject
{
    Q_OBJECT

    // The meters at addresses 3 and 7 over a link whose meter 7 fails its
    // second poll.
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
    // Every frame, fault, count and growth is told of the meter it is about.
    void signalsNameTheMeter()
    {
        Station station;
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
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.at(0).at(0).toInt(), 1);
        QVERIFY(events.at(0).at(1).toString().endsWith(QStringLiteral(" 通讯超时")));
        QList<int> grownMeters;
        for (const QList<QVariant> &g : grown)
            grownMeters << g.at(0).toInt();
        QCOMPARE(grownMeters.count(0), rows);
        QCOMPARE(grownMeters.count(1), rows - 1);
        QCOMPARE(frames.size(), 2 * rows);
        for (const QList<QVariant> &f : frames)
            QCOMPARE(f.at(1).toString(), QString(f.at(0).toInt() ? "7" : "3"));
    }

    // A link that does not open ends the run with one error; a station
    // without meters does not start.
    void failedOpenEndsTheRun()
    {
        Station station;
        StationConfig config = twoMeters(false);
        copyToField(config.link.com, "/nonexistent/ttyZEP");
        QVERIFY(!station.start({config.link, {}}));
        QSignalSpy errors(&station, &Station::communicationError), finished(&station, &Station::finished);
        QVERIFY(station.start(config));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).value<SamplingThread::ComErrType>(), SamplingThread::ComOpenFailed);
        QVERIFY(!station.isAcquiring());
        QCOMPARE(station.session(0).series().sizeWithPending(), 0);
    }
};

ZEP_TEST_MAIN_CORE(TestStation)
#include "tst_station.moc"
