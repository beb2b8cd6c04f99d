#include "data/energy.h"
#include "data/samplegaps.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<uint32_t>)
Q_DECLARE_METATYPE(std::vector<size_t>)

namespace {

// Runs of (step, count) from time 0: count steps of step seconds each.
std::vector<uint32_t> steps(std::initializer_list<std::pair<uint32_t, int>> runs)
{
    std::vector<uint32_t> times{0};
    for (const auto &run : runs)
        for (int i = 0; i < run.second; ++i)
            times.push_back(times.back() + run.first);
    return times;
}

// (time, TP) pairs, time -1 a time that did not read; TQ is half of TP.
std::vector<SampleRecord> powers(const QVector<double> &pairs)
{
    std::vector<SampleRecord> records(size_t(pairs.size() / 2), SampleRecord{});
    for (size_t i = 0; i < records.size(); ++i) {
        const double t = pairs[int(2 * i)];
        records[i].time = t < 0 ? SampleRecord::kInvalidTime : uint32_t(1700000000 + t);
        records[i].setValue(13, float(pairs[int(2 * i + 1)]));
        records[i].setValue(14, float(pairs[int(2 * i + 1)] / 2));
    }
    return records;
}

// A sample every step seconds, count steps from t, at watts.
QVector<double> run(double t, double step, int count, double watts)
{
    QVector<double> pairs;
    for (int i = 0; i <= count; ++i)
        pairs << t + i * step << watts;
    return pairs;
}

} // namespace

class TestSampleGaps : public QObject
{
    Q_OBJECT

private slots:
    void medianStep_data()
    {
        QTest::addColumn<std::vector<uint32_t>>("times");
        QTest::addColumn<double>("median");
        QTest::newRow("none") << std::vector<uint32_t>{} << 0.0;
        QTest::newRow("one sample") << std::vector<uint32_t>{100} << 0.0;
        QTest::newRow("even 5 s") << std::vector<uint32_t>{0, 5, 10, 15} << 5.0;
        QTest::newRow("a hole does not move it") << std::vector<uint32_t>{0, 1, 2, 7202, 7203} << 1.0;
        QTest::newRow("even count takes the middle two") << std::vector<uint32_t>{0, 1, 3, 6, 10} << 2.5;
        QTest::newRow("doubled seconds and a step back left out")
            << std::vector<uint32_t>{10, 10, 12, 12, 14, 8, 10} << 2.0;
        QTest::newRow("only steps back") << std::vector<uint32_t>{30, 20, 10} << 0.0;
        QTest::newRow("steps of 20 h") << std::vector<uint32_t>{0, 72000, 144000, 216000} << 72000.0;
        QTest::newRow("middle two a second and two hours")
            << std::vector<uint32_t>{0, 1, 2, 7202, 14402} << 3600.5;
    }

    void medianStep()
    {
        QFETCH(std::vector<uint32_t>, times);
        QFETCH(double, median);
        QCOMPARE(::medianStep(times.data(), times.size()), median);
    }

    // Each step against the steps around it: a change of interval is no
    // gap, an outage in either part is one.
    void findGaps_data()
    {
        QTest::addColumn<std::vector<uint32_t>>("times");
        QTest::addColumn<std::vector<size_t>>("gaps");
        QTest::newRow("even steps") << std::vector<uint32_t>{0, 5, 10, 15} << std::vector<size_t>{};
        QTest::newRow("two hours at 1 s") << std::vector<uint32_t>{0, 1, 2, 7202, 7203} << std::vector<size_t>{3};
        QTest::newRow("three times is no gap") << std::vector<uint32_t>{0, 1, 2, 5, 6} << std::vector<size_t>{};
        QTest::newRow("first and last step") << std::vector<uint32_t>{0, 9, 10, 11, 12, 30} << std::vector<size_t>{1, 5};
        QTest::newRow("a step back is none, the step after it counts")
            << std::vector<uint32_t>{100, 101, 102, 50, 51, 52, 90} << std::vector<size_t>{6};
        QTest::newRow("an unreadable time is stepped over")
            << std::vector<uint32_t>{10, 11, 12, 0xFFFFFFFFu, 14, 15, 0xFFFFFFFFu, 60} << std::vector<size_t>{7};
        QTest::newRow("no step forward") << std::vector<uint32_t>{7, 7, 7} << std::vector<size_t>{};
        QTest::newRow("1 s, then 60 s") << steps({{1, 200}, {60, 200}}) << std::vector<size_t>{};
        QTest::newRow("60 s, then 1 s") << steps({{60, 200}, {1, 200}}) << std::vector<size_t>{};
        QTest::newRow("1 s, then 5 s, then 20 h") << steps({{1, 100}, {5, 100}, {72000, 30}}) << std::vector<size_t>{};
        QTest::newRow("outage at 1 s") << steps({{1, 100}, {600, 1}, {1, 100}, {60, 200}}) << std::vector<size_t>{101};
        QTest::newRow("outage at 60 s") << steps({{1, 200}, {60, 100}, {600, 1}, {60, 100}}) << std::vector<size_t>{301};
        QTest::newRow("outage at the change") << steps({{1, 200}, {600, 1}, {60, 100}}) << std::vector<size_t>{201};
        QTest::newRow("outages every 40 polls")
            << steps({{1, 40}, {61, 1}, {1, 40}, {61, 1}, {1, 40}, {61, 1}, {1, 40}}) << std::vector<size_t>{41, 82, 123};
    }

    void findGaps()
    {
        QFETCH(std::vector<uint32_t>, times);
        QFETCH(std::vector<size_t>, gaps);
        QCOMPARE(::findGaps(times.data(), times.size()), gaps);
    }

    // The one energy rule: drawn and fed back apart, never across a gap,
    // a step back or a power that is no number.
    void energyRule_data()
    {
        QTest::addColumn<QVector<double>>("pairs"); // time -1: a time that did not read
        QTest::addColumn<double>("importedWh");
        QTest::addColumn<double>("exportedWh");
        QTest::addColumn<double>("coveredS");
        QTest::newRow("drawn, 1 kW for an hour") << run(0, 60, 60, 1000) << 1000.0 << 0.0 << 3600.0;
        QTest::newRow("fed back, 2 kW for an hour") << run(0, 60, 60, -2000) << 0.0 << 2000.0 << 3600.0;
        QTest::newRow("through zero inside a step") << QVector<double>{0, 1000, 3600, -1000} << 250.0 << 250.0 << 3600.0;
        QTest::newRow("from zero to fed back") << QVector<double>{0, 0, 3600, -1000} << 0.0 << 500.0 << 3600.0;
        QTest::newRow("not across an outage")
            << run(0, 60, 10, 1000) + run(3600, 60, 10, 1000) << 1000.0 / 3 << 0.0 << 1200.0;
        QTest::newRow("clock set back: both passes count")
            << run(0, 60, 30, 1000) + run(1200, 60, 30, 1000) << 1000.0 << 0.0 << 3600.0;
        QTest::newRow("no number at either end leaves the step out")
            << QVector<double>{0, 1000, 60, qQNaN(), 120, 1000, 180, 1000} << 1000.0 / 60 << 0.0 << 60.0;
        QTest::newRow("a time that did not read takes no part")
            << QVector<double>{0, 1000, 60, 1000, -1, 1e9, 120, 1000} << 2000.0 / 60 << 0.0 << 120.0;
    }

    void energyRule()
    {
        QFETCH(QVector<double>, pairs);
        QFETCH(double, importedWh);
        QFETCH(double, exportedWh);
        QFETCH(double, coveredS);
        const std::vector<SampleRecord> records = powers(pairs);
        const EnergySums e = integrateEnergy(records.data(), records.size());
        QVERIFY(qAbs(e.imported / 3600 - importedWh) < 1e-6 && qAbs(e.exported / 3600 - exportedWh) < 1e-6);
        QCOMPARE(e.covered, coveredS);
        // Reactive energy is a signed sum over the same steps.
        QVERIFY(qAbs(e.reactive - e.net() / 2) < 1e-6);
    }

    void isGap_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("typical");
        QTest::addColumn<bool>("gap");
        QTest::newRow("three times is no gap") << 3.0 << 1.0 << false;
        QTest::newRow("just over three times") << 3.5 << 1.0 << true;
        QTest::newRow("two hours at 5 s") << 7200.0 << 5.0 << true;
        QTest::newRow("no typical step") << 7200.0 << 0.0 << false;
    }

    void isGap()
    {
        QFETCH(double, step);
        QFETCH(double, typical);
        QFETCH(bool, gap);
        QCOMPARE(::isGap(step, typical), gap);
    }
};

QTEST_APPLESS_MAIN(TestSampleGaps)
#include "tst_samplegaps.moc"
