#include "data/samplegaps.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<uint32_t>)
Q_DECLARE_METATYPE(std::vector<size_t>)

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

    // Found against the median step.
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
        QTest::newRow("an unreadable time") << std::vector<uint32_t>{10, 11, 12, 0xFFFFFFFFu, 14, 15} << std::vector<size_t>{3};
        QTest::newRow("no step forward") << std::vector<uint32_t>{7, 7, 7} << std::vector<size_t>{};
    }

    void findGaps()
    {
        QFETCH(std::vector<uint32_t>, times);
        QFETCH(std::vector<size_t>, gaps);
        QCOMPARE(::findGaps(times.data(), times.size()), gaps);
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
