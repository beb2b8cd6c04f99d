#include "analysis/powerreport.h"
#include "testsupport.h"

#include <QDateTime>

#include <numeric>
#include <random>
#include <vector>

Q_DECLARE_METATYPE(Verdict)

namespace {

uint32_t midnight()
{
    return uint32_t(QDateTime(QDate(2024, 3, 1), QTime(0, 0)).toSecsSinceEpoch());
}

// {from, to, step[, watts]}: samples at midnight + from, every step seconds up
// to to, at 220 V, 50 Hz, 2 % THD, 1 % unbalance, TP = watts (6000 unless
// given), TQ a third of it and TS 7/6 of it.
using Stretches = QVector<QVector<int>>;

std::vector<SampleRecord> series(const Stretches &stretches)
{
    std::vector<SampleRecord> records;
    for (const QVector<int> &s : stretches) {
        const double watts = s.value(3, 6000);
        for (int t = s[0]; t <= s[1]; t += s[2]) {
            SampleRecord r{};
            r.time = midnight() + uint32_t(t);
            for (int k : {1, 2, 3})
                r.setValue(k, 220);
            r.setValue(13, float(watts));
            r.setValue(14, float(watts / 3));
            r.setValue(15, float(watts * 7 / 6));
            r.setValue(17, 50);
            for (int k : {18, 19, 20})
                r.setValue(k, 2);
            r.setValue(30, 1);
            records.push_back(r);
        }
    }
    return records;
}

PowerReport reportOf(const std::vector<SampleRecord> &r, int spanEnd, const ReportOptions &options = {})
{
    return computePowerReport(r.data(), 0, int(r.size()) - 1, midnight(), midnight() + uint32_t(spanEnd), options);
}

} // namespace

class TestPowerReport : public QObject
{
    Q_OBJECT

private slots:
    void energy_data()
    {
        QTest::addColumn<Stretches>("stretches");
        QTest::addColumn<int>("spanEnd");
        QTest::addColumn<double>("kWh");
        QTest::addColumn<double>("coverage");
        QTest::addColumn<int>("gaps");
        QTest::addColumn<int>("backSteps");
        QTest::addColumn<double>("firstDayKWh");
        QTest::newRow("an hour at 10 s") << Stretches{{0, 3600, 10}} << 3600 << 6.0 << 1.0 << 0 << 0 << 6.0;
        // The hour between 00:30 and 01:30 holds no sample: no energy, no time.
        QTest::newRow("an hour's gap") << Stretches{{0, 1800, 10}, {5400, 7200, 10}} << 7200 << 6.0 << 0.5 << 1 << 0
                                       << 6.0;
        // 00:05..00:10 comes twice: its energy counts twice, its time once.
        QTest::newRow("times going back") << Stretches{{0, 600, 10}, {300, 900, 10}} << 900 << 2.0 << 1.0 << 0 << 1
                                          << 2.0;
        QTest::newRow("across midnight") << Stretches{{-1800, 1800, 10}} << 1800 << 6.0 << 1.0 << 0 << 0 << 3.0;
        // The day that starts with the span's last sample has no length.
        QTest::newRow("ending at midnight") << Stretches{{-1800, 0, 10}} << 0 << 3.0 << 1.0 << 0 << 0 << 3.0;
        QTest::newRow("a ramp, trapezoid exact") << Stretches{{0, 0, 10, 0}, {10, 10, 10, 3600}} << 10 << 0.005 << 1.0
                                                 << 0 << 0 << 0.005;
        // A day file continued at another interval: no gap where it changes.
        QTest::newRow("1 s, then 60 s") << Stretches{{0, 3600, 1}, {3660, 36000, 60}} << 36000 << 60.0 << 1.0 << 0
                                        << 0 << 60.0;
        QTest::newRow("then an outage at 60 s") << Stretches{{0, 3600, 1}, {3660, 18000, 60}, {19800, 36000, 60}}
                                                << 36000 << 57.0 << 0.95 << 1 << 0 << 57.0;
    }

    void energy()
    {
        QFETCH(Stretches, stretches);
        QFETCH(int, spanEnd);
        QFETCH(double, kWh);
        const int spanStart = stretches.first().first();
        const std::vector<SampleRecord> r = series(stretches);
        const PowerReport p = computePowerReport(r.data(), 0, int(r.size()) - 1, midnight() + uint32_t(spanStart),
                                                 midnight() + uint32_t(spanEnd), {});
        QCOMPARE(p.samples, int(r.size()));
        QVERIFY(qAbs(p.total.imported / 3.6e6 - kWh) < 1e-9);
        QCOMPARE(p.total.exported, 0.0);
        QVERIFY(qAbs(p.total.reactive * 3 - p.total.imported) < 1e-6);
        QVERIFY(qAbs(p.total.apparent * 6 - p.total.imported * 7) < 1e-6);
        QFETCH(double, coverage);
        QVERIFY(qAbs(p.coverage() - coverage) < 1e-12);
        QTEST(p.gaps, "gaps");
        QTEST(p.backSteps, "backSteps");
        QFETCH(double, firstDayKWh);
        QVERIFY(qAbs(p.days.first().sums.imported / 3.6e6 - firstDayKWh) < 1e-9);
        QCOMPARE(p.days.size(), spanStart < 0 && spanEnd > 0 ? 2 : 1);
        // Without gaps every ten-minute window holds the samples its
        // interval implies, but the one the span's last sample may open.
        if (p.gaps == 0)
            QVERIFY(p.quality[0].invalid <= 1);
    }

    void gapFigures()
    {
        const PowerReport p = reportOf(series({{0, 1800, 10}, {5400, 7200, 10}}), 7200);
        QCOMPARE(p.medianStep, 10.0);
        QCOMPARE(p.longestGap, 3600u);
        const PowerReport one = reportOf(series({{0, 0, 10}}), 0);
        QCOMPARE(one.samples, 1);
        QCOMPARE(one.total.covered, 0.0);
        QVERIFY(one.coverage() < 0);
        QCOMPARE(one.overall, Verdict::Unknown);
        QVERIFY(!one.peak.found);
        // The two steps next to a power the meter could not give count nothing.
        std::vector<SampleRecord> withNan = series({{0, 60, 10}});
        withNan[3].setValue(13, qQNaN());
        QCOMPARE(reportOf(withNan, 60).total.imported, 6000.0 * 40);
        // Between the samples at 00:30 and 01:30: nothing, and no window valid.
        const std::vector<SampleRecord> r = series({{0, 1800, 10}, {5400, 7200, 10}});
        const PowerReport none = computePowerReport(r.data(), 181, 180, midnight() + 2000, midnight() + 5000, {});
        QCOMPARE(none.samples, 0);
        QCOMPARE(none.coverage(), 0.0);
        QCOMPARE(none.quality[0].invalid, 6);
        QCOMPARE(none.overall, Verdict::Unknown);
    }

    void demand_data()
    {
        QTest::addColumn<Stretches>("stretches");
        QTest::addColumn<double>("watts");
        QTest::addColumn<int>("start");
        // The step 00:14:50..00:15:00 ramps from 1 kW to 5 kW inside the first
        // window: its mean is (1000 * 890 + 3000 * 10) / 900.
        const double first = (1000.0 * 890 + 3000.0 * 10) / 900;
        QTest::newRow("two full windows") << Stretches{{0, 890, 10, 1000}, {900, 1800, 10, 5000}} << 5000.0 << 900;
        QTest::newRow("a window covered half") << Stretches{{0, 890, 10, 1000}, {900, 1350, 10, 5000}} << 5000.0 << 900;
        QTest::newRow("less than half") << Stretches{{0, 890, 10, 1000}, {900, 1340, 10, 5000}} << first << 0;
    }

    void demand()
    {
        QFETCH(Stretches, stretches);
        QFETCH(double, watts);
        const PowerReport p = reportOf(series(stretches), 1800);
        QVERIFY(p.peak.found);
        QVERIFY(qAbs(p.peak.watts - watts) < 1e-9);
        QTEST(int(p.peak.start - midnight()), "start");
    }

    void windows_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<float>("volts");
        QTest::addColumn<int>("valid");
        QTest::addColumn<Verdict>("verdict");
        QTest::newRow("at +7 %") << 60 << 235.4f << 1 << Verdict::Pass;
        QTest::newRow("at -7 %") << 60 << 204.6f << 1 << Verdict::Pass;
        QTest::newRow("past +7 %") << 60 << 235.5f << 1 << Verdict::Fail;
        QTest::newRow("half full") << 30 << 220.0f << 1 << Verdict::Pass;
        QTest::newRow("less than half") << 29 << 220.0f << 0 << Verdict::Unknown;
    }

    // One 10-minute window of samples 10 s apart: 60 make it full.
    void windows()
    {
        QFETCH(int, count);
        QFETCH(float, volts);
        std::vector<SampleRecord> r = series({{0, (count - 1) * 10, 10}});
        for (SampleRecord &s : r)
            s.setValue(2, volts);
        const PowerReport p = reportOf(r, 599);
        const QualityRow &ub = p.quality[1];
        QTEST(ub.valid, "valid");
        QCOMPARE(ub.invalid, 1 - ub.valid);
        QTEST(ub.verdict, "verdict");
        if (ub.hasData())
            QCOMPARE(float(ub.maximum), volts);
        QCOMPARE(p.quality[0].verdict, ub.valid ? Verdict::Pass : Verdict::Unknown);
        QCOMPARE(p.chart.size(), ub.valid);
    }

    void judge_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<int>("standard");
        QTest::addColumn<int>("column");
        QTest::addColumn<double>("p95");
        QTest::addColumn<Verdict>("verdict");
        QVector<double> ranks;
        for (int i = 1; i <= 20; ++i)
            ranks << i;
        const QVector<double> nineteenAtFive = QVector<double>(19, 5.0) << 9.0;
        const QVector<double> oneOver = QVector<double>(19, 1.0) << 4.5;
        const QVector<double> frequency = QVector<double>(199, 50.0) << 50.6;
        const QVector<double> frequencyFar = QVector<double>(199, 50.0) << 46.9;
        QTest::newRow("nearest rank of twenty") << ranks << 0 << 18 << 19.0 << Verdict::Fail;
        QTest::newRow("95 % at the limit") << nineteenAtFive << 0 << 18 << 5.0 << Verdict::Pass;
        QTest::newRow("EN THD limit 8 %") << nineteenAtFive << 1 << 18 << 5.0 << Verdict::Pass;
        QTest::newRow("unbalance maximum over 4 %") << oneOver << 0 << 30 << 1.0 << Verdict::Fail;
        QTest::newRow("EN unbalance has no maximum") << oneOver << 1 << 30 << 1.0 << Verdict::Pass;
        QTest::newRow("EN frequency in 99.5 %") << frequency << 1 << 17 << 50.0 << Verdict::Pass;
        QTest::newRow("EN frequency under -6 %") << frequencyFar << 1 << 17 << 50.0 << Verdict::Fail;
        QTest::newRow("float of 50.2 Hz") << QVector<double>{double(50.2f)} << 0 << 17 << double(50.2f) << Verdict::Pass;
        QTest::newRow("no values") << QVector<double>() << 0 << 1 << 0.0 << Verdict::Unknown;
        QTest::newRow("nan and inf left out") << QVector<double>{qQNaN(), 220, qInf()} << 0 << 1 << 220.0
                                              << Verdict::Pass;
    }

    void judge()
    {
        QFETCH(QVector<double>, values);
        QFETCH(int, standard);
        QFETCH(int, column);
        ReportOptions o;
        o.standard = standard ? PowerStandard::En50160 : PowerStandard::GbT;
        const QualityRow row = judgeValues(values, qualityLimits(o, column));
        QTEST(row.p95, "p95");
        QTEST(row.verdict, "verdict");
        QCOMPARE(row.valid, int(std::count_if(values.begin(), values.end(), [](double v) { return qIsFinite(v); })));
    }

    void events_data()
    {
        QTest::addColumn<QVector<float>>("volts");
        QTest::addColumn<int>("gapAfter");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("duration");
        QTest::addColumn<float>("extreme");
        QTest::addColumn<int>("ending");
        // Below 198 V from some time before 00:00:20 until some time before
        // 00:00:50, when 203 V is back above 202.4 V.
        QTest::newRow("a dip between samples") << QVector<float>{220, 220, 190, 195, 201, 203, 220} << -1 << 1
                                               << int(VoltageEvent::Dip) << 20 << 30 << 190.0f
                                               << int(VoltageEvent::Recovered);
        QTest::newRow("a swell ends at 108 %") << QVector<float>{220, 243, 250, 237.6f, 220} << -1 << 1
                                               << int(VoltageEvent::Swell) << 10 << 20 << 250.0f
                                               << int(VoltageEvent::Recovered);
        QTest::newRow("an interruption is a dip too") << QVector<float>{220, 0, 10, 230} << -1 << 2
                                                      << int(VoltageEvent::Dip) << 10 << 20 << 0.0f
                                                      << int(VoltageEvent::Recovered);
        QTest::newRow("open at the end") << QVector<float>{220, 190, 190} << -1 << 1 << int(VoltageEvent::Dip) << 10
                                         << 10 << 190.0f << int(VoltageEvent::OpenAtEnd);
        QTest::newRow("cut by a gap") << QVector<float>{220, 190, 185, 220} << 2 << 1 << int(VoltageEvent::Dip) << 10
                                      << 10 << 185.0f << int(VoltageEvent::CutByBreak);
    }

    void events()
    {
        QFETCH(QVector<float>, volts);
        QFETCH(int, gapAfter);
        std::vector<SampleRecord> r = series({{0, (volts.size() - 1) * 10, 10}});
        for (int i = 0; i < volts.size(); ++i) {
            r[size_t(i)].setValue(1, volts[i]);
            if (gapAfter >= 0 && i > gapAfter)
                r[size_t(i)].time += 3600;
        }
        const PowerReport p = reportOf(r, int(r.back().time - midnight()));
        QTEST(p.events.size(), "events");
        const VoltageEvent &e = p.events.first();
        QTEST(int(e.kind), "kind");
        QCOMPARE(e.phase, 0);
        QTEST(int(e.start - midnight()), "start");
        QTEST(int(e.duration), "duration");
        QTEST(e.extreme, "extreme");
        QTEST(int(e.ending), "ending");
        QCOMPARE(p.eventCounts[e.kind], 1);
        // A second event is the interruption inside the dip, over the same samples.
        for (const VoltageEvent &inside : p.events.mid(1)) {
            QCOMPARE(int(inside.kind), int(VoltageEvent::Interruption));
            QCOMPARE(std::make_pair(inside.start, inside.duration), std::make_pair(e.start, e.duration));
        }
    }

    // Ten-minute values against a count done the plain way: the root mean
    // square of each window's samples, and the windows that an event's
    // samples (any phase outside 90..110 %, up to the sample back) touch
    // left out of all that judges.
    void aggregation()
    {
        std::mt19937 engine(7);
        std::uniform_real_distribution<double> unit(0, 1);
        const auto rnd = [&] { return unit(engine); };
        std::vector<SampleRecord> r = series({{0, 6 * 3600 - 10, 10}});
        for (size_t i = 0; i < r.size(); ++i) {
            for (int k : {1, 2, 3})
                r[i].setValue(k, float(220 + 14 * (rnd() - 0.5)));
            r[i].setValue(17, float(50 + 0.5 * (rnd() - 0.5)));
            for (int k : {18, 19, 20, 30})
                r[i].setValue(k, float(1 + 5 * rnd()));
        }
        // A dip of UB over a window's edge, a swell of UC inside one.
        for (size_t i : {117, 118, 119, 120, 121})
            r[i].setValue(2, 150);
        for (size_t i : {905, 906})
            r[i].setValue(3, 250);

        const PowerReport p = reportOf(r, 6 * 3600 - 10);
        // The random phases stay within 90..110 %: the dip touches the
        // windows from 600 and 1200 s, the swell the one from 9000 s.
        const QSet<int> flagged{1, 2, 15};
        for (int q = 0; q < kQualityRowCount; ++q) {
            const int column = kQualityColumns[q];
            QVector<double> judged, all;
            for (int w = 0; w < int(r.size()) / 60; ++w) {
                double squares = 0;
                for (size_t i = size_t(w) * 60; i < size_t(w) * 60 + 60; ++i)
                    squares += double(r[i].value(column)) * r[i].value(column);
                all << std::sqrt(squares / 60);
                if (!flagged.contains(w))
                    judged << all.last();
            }
            std::sort(judged.begin(), judged.end());
            const QualityRow &row = p.quality[q];
            QCOMPARE(row.valid, all.size());
            QCOMPARE(row.flagged, flagged.size());
            QVERIFY(qAbs(row.maximum - *std::max_element(all.begin(), all.end())) < 1e-9);
            QVERIFY(qAbs(row.minimum - *std::min_element(all.begin(), all.end())) < 1e-9);
            QVERIFY(qAbs(row.mean - std::accumulate(all.begin(), all.end(), 0.0) / all.size()) < 1e-9);
            QCOMPARE(row.p95, judged[int(std::ceil(judged.size() * 0.95)) - 1]);
            const QualityLimits l = qualityLimits(p.options, column);
            QCOMPARE(row.within, int(std::count_if(judged.begin(), judged.end(),
                                                   [&l](double v) { return v >= l.low && v <= l.high; })));
        }
    }

    void eventClasses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("place");
        // 80, 70, 40 and 5 % of 220 V, just under 80 and 5 %; 120 % and just
        // under: the edge belongs to the row below it.
        for (const auto &[volts, place] : {std::pair{double(0.80f * 220), 0}, {175.9, 1}, {154.0, 1}, {88.0, 2}, {11.0, 3},
                                           {10.9, 4}})
            QTest::addRow("dip to %.1f V", volts) << "dip" << volts << place;
        for (const auto &[volts, place] : {std::pair{264.0, 1}, {263.9, 0}})
            QTest::addRow("swell to %.1f V", volts) << "swell" << volts << place;
        // Milliseconds: the edge belongs to the column above it.
        for (const auto &[ms, place] : {std::pair{9.0, -1}, {10.0, 0}, {200.0, 0}, {201.0, 1}, {1000.0, 2}, {5000.0, 3},
                                        {60000.0, 4}, {60001.0, 5}})
            QTest::addRow("%g ms", ms) << "duration" << ms << place;
    }

    void eventClasses()
    {
        QFETCH(QString, kind);
        QFETCH(double, value);
        const int place = kind == QLatin1String("dip")     ? dipRow(value, 220)
                          : kind == QLatin1String("swell") ? swellRow(value, 220)
                                                           : durationColumn(qint64(value));
        QTEST(place, "place");
    }

    // Phases together: UA from 10 s for 2 s, UB from 11 s for 3 s at 150 V
    // are one dip of 4 s at 68 %; one cut after a single sample counts as
    // one sampling interval.
    void eventTable()
    {
        const QVector<VoltageEvent> events{
            {VoltageEvent::Dip, 0, 10, 2, 180, VoltageEvent::Recovered},
            {VoltageEvent::Dip, 1, 11, 3, 150, VoltageEvent::Recovered},
            {VoltageEvent::Dip, 2, 100, 0, 10, VoltageEvent::CutByBreak},
            {VoltageEvent::Swell, 0, 100, 70, 270, VoltageEvent::OpenAtEnd}};
        const EventTable t = classifyEvents(events, 220, 1);
        QCOMPARE(t.dips[2][3], 1);
        QCOMPARE(t.dips[4][2], 1);
        QCOMPARE(t.swells[1][5], 1);
        QCOMPARE(std::accumulate(&t.dips[0][0], &t.dips[0][0] + kDipRows * kDurationColumns, 0), 2);
        QCOMPARE(QVector<bool>(t.measurable, t.measurable + kDurationColumns),
                 (QVector<bool>{false, false, true, true, true, true}));
    }

    void options_data()
    {
        QTest::addColumn<double>("volts");
        QTest::addColumn<int>("hertz");
        QTest::addColumn<bool>("refused");
        QTest::newRow("220 V 50 Hz") << 220.0 << 50 << false;
        QTest::newRow("zero") << 0.0 << 50 << true;
        QTest::newRow("negative") << -230.0 << 60 << true;
        QTest::newRow("not a number") << std::nan("") << 50 << true;
        QTest::newRow("55 Hz") << 230.0 << 55 << true;
    }

    void options()
    {
        QFETCH(double, volts);
        QFETCH(int, hertz);
        QTEST(!reportOptionsProblem({PowerStandard::GbT, volts, hertz}).isEmpty(), "refused");
    }
};

ZEP_TEST_MAIN_CORE(TestPowerReport)
#include "tst_powerreport.moc"
