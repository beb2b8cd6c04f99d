#include "data/samplegaps.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<uint32_t>)

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
    }

    void medianStep()
    {
        QFETCH(std::vector<uint32_t>, times);
        QFETCH(double, median);
        QCOMPARE(::medianStep(times.data(), times.size()), median);
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
