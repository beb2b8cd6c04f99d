// The one energy rule: drawn and fed back apart, never across a gap, a
// step back or a power that is no number.

#include "data/energy.h"

#include <QtTest>

#include <cmath>
#include <vector>

namespace {

// (time, TP) pairs; TQ is half of TP and TS twice its size.
std::vector<SampleRecord> series(const QVector<double> &pairs)
{
    std::vector<SampleRecord> records;
    for (int i = 0; i + 1 < pairs.size(); i += 2) {
        SampleRecord r{};
        r.time = pairs[i] < 0 ? SampleRecord::kInvalidTime : uint32_t(1700000000 + pairs[i]);
        r.setValue(13, float(pairs[i + 1]));
        r.setValue(14, float(pairs[i + 1] / 2));
        r.setValue(15, float(std::fabs(pairs[i + 1]) * 2));
        records.push_back(r);
    }
    return records;
}

// One sample every step seconds for count steps from t, at watts.
QVector<double> run(double t, double step, int count, double watts)
{
    QVector<double> pairs;
    for (int i = 0; i <= count; ++i)
        pairs << t + i * step << watts;
    return pairs;
}

} // namespace

class TestEnergy : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
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
        QTest::newRow("1 s, then 60 s: no gap") << run(0, 1, 600, 3600) + run(660, 60, 60, 3600) << 4260.0 << 0.0
                                                 << 4260.0;
        QTest::newRow("clock set back: both passes count")
            << run(0, 60, 30, 1000) + run(1200, 60, 30, 1000) << 1000.0 << 0.0 << 3600.0;
        QTest::newRow("no number at either end leaves the step out")
            << QVector<double>{0, 1000, 60, qQNaN(), 120, 1000, 180, 1000} << 1000.0 / 60 << 0.0 << 60.0;
        QTest::newRow("a time that did not read takes no part")
            << QVector<double>{0, 1000, 60, 1000, -1, 1e9, 120, 1000} << 2000.0 / 60 << 0.0 << 120.0;
    }

    void rule()
    {
        QFETCH(QVector<double>, pairs);
        QFETCH(double, importedWh);
        QFETCH(double, exportedWh);
        QFETCH(double, coveredS);
        const std::vector<SampleRecord> records = series(pairs);
        const EnergySums e = integrateEnergy(records.data(), records.size());
        QVERIFY2(qAbs(e.imported / 3600 - importedWh) < 1e-6, qPrintable(QString::number(e.imported / 3600)));
        QVERIFY2(qAbs(e.exported / 3600 - exportedWh) < 1e-6, qPrintable(QString::number(e.exported / 3600)));
        QCOMPARE(e.covered, coveredS);
        // Reactive energy is a signed sum over the same steps.
        QVERIFY(qAbs(e.reactive - e.net() / 2) < 1e-6);
    }
};

QTEST_APPLESS_MAIN(TestEnergy)
#include "tst_energy.moc"
