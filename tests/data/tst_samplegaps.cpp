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
    for (const auto &run : runs) {
        for (int i = 0; i < run.second; ++i)
            times.push_back(times.back() + run.first);
    }
    return times;
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
        QTest::newRow("an outage in the 1 s part") << steps({{1, 100}, {600, 1}, {1, 100}, {60, 200}})
                                                   << std::vector<size_t>{101};
        QTest::newRow("an outage in the 60 s part") << steps({{1, 200}, {60, 100}, {600, 1}, {60, 100}})
                                                    << std::vector<size_t>{301};
        QTest::newRow("an outage where the interval changes") << steps({{1, 200}, {600, 1}, {60, 100}})
                                                              << std::vector<size_t>{201};
        QTest::newRow("outages every 40 polls")
            << steps({{1, 40}, {61, 1}, {1, 40}, {61, 1}, {1, 40}, {61, 1}, {1, 40}}) << std::vector<size_t>{41, 82, 123};
    }

    void findGaps()
    {
        QFETCH(std::vector<uint32_t>, times);
        QFETCH(std::vector<size_t>, gaps);
        QCOMPARE(::findGaps(times.data(), times.size()), gaps);
    }

    // A time that did not read breaks nothing but its own place.
    void breaks()
    {
        const std::vector<uint32_t> t{100, 0xFFFFFFFFu, 101, 50, 0xFFFFFFFFu, 0xFFFFFFFFu, 51, 900};
        std::vector<SampleRecord> records(t.size());
        for (size_t i = 0; i < t.size(); ++i)
            records[i].time = t[i];
        const SeriesBreaks b = findBreaks(records.data(), records.size());
        QCOMPARE(b.unplaced, (std::vector<size_t>{1, 4, 5}));
        QCOMPARE(b.stepsBack, std::vector<size_t>{3});
        QCOMPARE(b.gaps, std::vector<size_t>{7});
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
