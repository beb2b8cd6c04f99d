#include "data/localtimetext.h"
#include "views/legendtitle.h"
#include "views/timescaledraw.h"
#include "testsupport.h"
#include "../data/datafiletestutil.h"

namespace {

// "30s", "15min", "6h", "7d", "3mo", "2y"; anything else is no step.
TimeStep stepOf(const QString &text)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d+)(s|min|h|d|mo|y)$")).match(text);
    const int unit = QStringList({"s", "min", "h", "d", "mo", "y"}).indexOf(m.captured(2));
    const TimeStep units[] = {{TimeStep::Seconds, 1}, {TimeStep::Seconds, 60}, {TimeStep::Seconds, 3600},
                              {TimeStep::Days, 1},    {TimeStep::Months, 1},   {TimeStep::Months, 12}};
    return unit < 0 ? TimeStep{} : TimeStep{units[unit].unit, m.captured(1).toInt() * units[unit].count};
}

} // namespace

class TestTimeAxis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A fixed zone east of UTC, so that a label shown in UTC would fail.
        zeptest::useZone("Asia/Shanghai");
    }

    void cleanup() { zeptest::useZone("Asia/Shanghai"); }

    void labels_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("span");
        QTest::addColumn<QString>("label");
        // 2018-05-06 06:03:21 UTC is 14:03:21 in Shanghai.
        QTest::newRow("0") << 0 << 0.0 << "14:03";
        QTest::newRow("1") << 1 << 0.0 << "14:03:21";
        QTest::newRow("2") << 2 << 0.0 << "2018-05-06";
        QTest::newRow("3") << 3 << 0.0 << "14:03\n2018-05-06";
        QTest::newRow("4") << 4 << 0.0 << "14:03:21\n2018-05-06";
        QTest::newRow("5") << 5 << 0.0 << "06/05/2018";
        QTest::newRow("6") << 6 << 0.0 << "14:03\n06/05/2018";
        QTest::newRow("7") << 7 << 0.0 << "14:03:21\n06/05/2018";
        QTest::newRow("99") << 99 << 0.0 << "14:03:21\n06/05/2018";
        QTest::newRow("-1") << -1 << 0.0 << "14:03:21\n06/05/2018";
        // Times of day repeat once the axis spans a day.
        QTest::newRow("0 over a day") << 0 << 86400.0 << "14:03\n2018-05-06";
        QTest::newRow("1 over a week") << 1 << 604800.0 << "14:03:21\n2018-05-06";
        QTest::newRow("5 over a week") << 5 << 604800.0 << "06/05/2018";
        QTest::newRow("0 under a day") << 0 << 86399.0 << "14:03";
    }

    void labels()
    {
        QFETCH(int, format);
        QFETCH(double, span);
        QFETCH(QString, label);
        TimeScaleDraw draw;
        draw.setTimeFormat(format);
        const double value = 1525586601.0;
        draw.setScaleDiv(QwtScaleDiv(value - span, value));
        QCOMPARE(draw.label(value).text(), label);
        // Fractions of a second are cut, not rounded.
        QCOMPARE(draw.label(value + 0.999).text(), label);
        QCOMPARE(timeLabelText(value, format, span), label);
    }

    void oddAxisValues_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("label");
        QTest::newRow("epoch") << 0.0 << "1970-01-01 08:00:00";
        QTest::newRow("last 32-bit second") << 4294967295.0 << "无效时间";
        QTest::newRow("negative wraps") << -1.0 << "无效时间";
        QTest::newRow("not a number") << std::nan("") << "1970-01-01 08:00:00";
        QTest::newRow("huge") << 1e300 << "1970-01-01 08:00:00";
    }

    void oddAxisValues()
    {
        QFETCH(double, value);
        QFETCH(QString, label);
        QCOMPARE(localTimeText(axisSeconds(value)), label);
    }

    // What does not fit in 15 characters costs the name its blanks, then
    // makes the title longer; the value is never cut.
    void legendTitles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("title");
        QTest::newRow("stored name, padded") << " UA  " << "(V)" << "220.5" << " UA  (V):220.5 ";
        QTest::newRow("blank unit") << "COS  " << "" << "0.973" << "COS  :0.973    ";
        QTest::newRow("trailing blank first") << " TP  " << "(W)" << "28881.4" << " TP (W):28881.4";
        QTest::newRow("every blank") << " TQ  " << "(Var)" << "10291.5" << "TQ(Var):10291.5";
        QTest::newRow("longer than 15") << " TS  " << "(VA)" << "1.23457e+06" << "TS(VA):1.23457e+06";
        QTest::newRow("simplified, negative") << "TQ" << "(Var)" << "-12345.6" << "TQ(Var):-12345.6";
        QTest::newRow("no value") << "UVavr(V)" << "" << QString() << "UVavr(V)       ";
    }

    void legendTitles()
    {
        QFETCH(QString, name);
        QFETCH(QString, unit);
        QFETCH(QString, value);
        QTEST(fitLegendTitle(name, unit, value), "title");
    }

    void fittingMajorSteps_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("labelWidth");
        QTest::addColumn<int>("maxMajor");
        QTest::addColumn<int>("steps");
        QTest::newRow("full width: the maximum") << 1400 << 60 << 10 << 10;
        QTest::newRow("tiled, 400 px") << 400 << 60 << 10 << 5;
        QTest::newRow("narrower than a label") << 50 << 60 << 10 << 1;
        QTest::newRow("hand-edited 0") << 1400 << 60 << 0 << 1;
    }

    void fittingMajorSteps()
    {
        QFETCH(int, length);
        QFETCH(int, labelWidth);
        QFETCH(int, maxMajor);
        QTEST(::fittingMajorSteps(length, labelWidth, maxMajor), "steps");
    }

    // Major ticks of a time axis are never closer than one second.
    void divisions_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("maxMajor");
        QTest::addColumn<double>("step");
        const double t = 1525586601;
        QTest::newRow("2 s, 10 ticks") << t << t + 2 << 10 << 1.0;
        QTest::newRow("half a second") << t << t + 0.5 << 10 << 1.0;
        QTest::newRow("reversed") << t + 3 << t << 10 << 1.0;
        QTest::newRow("100 s") << t << t + 100 << 10 << 10.0;
        QTest::newRow("800 s") << t << t + 800 << 10 << 120.0;
    }

    void divisions()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, maxMajor);
        QFETCH(double, step);
        TimeScaleEngine engine;
        const QwtScaleDiv div = engine.divideScale(from, to, maxMajor, 5);
        const QList<double> ticks = div.ticks(QwtScaleDiv::MajorTick);
        for (int i = 1; i < ticks.size(); ++i)
            QCOMPARE(qAbs(ticks[i] - ticks[i - 1]), step);
        QCOMPARE(div.lowerBound(), from);
        QCOMPARE(div.upperBound(), to);
        // A step asked for below a second is raised as well.
        const QList<double> asked = engine.divideScale(from, to, maxMajor, 5, 0.25).ticks(QwtScaleDiv::MajorTick);
        for (int i = 1; i < asked.size(); ++i)
            QVERIFY(qAbs(asked[i] - asked[i - 1]) >= 1.0);
    }

    // The finest round step that takes at most maxMajor steps and that the
    // labels tell apart, cut into at most maxMinor equal parts.
    void steps_data()
    {
        QTest::addColumn<double>("span");
        QTest::addColumn<int>("maxMajor");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("maxMinor");
        QTest::addColumn<QString>("steps");
        QTest::newRow("minute") << 60.0 << 10 << 1 << 5 << "10s 2s";
        QTest::newRow("minute, hh:mm") << 60.0 << 10 << 0 << 5 << "1min 15s";
        QTest::newRow("hour") << 3600.0 << 10 << 4 << 10 << "10min 1min";
        QTest::newRow("hour, 4 steps") << 3600.0 << 4 << 4 << 5 << "15min 5min";
        QTest::newRow("hour, date only") << 3600.0 << 10 << 5 << 5 << "1d 6h";
        QTest::newRow("day, 4 steps") << 86400.0 << 4 << 6 << 5 << "6h 2h";
        QTest::newRow("hand-edited 0") << 86400.0 << 0 << 4 << 0 << "1d -";
        QTest::newRow("week: 7 parts too many") << 604800.0 << 3 << 2 << 5 << "7d -";
        QTest::newRow("month in weeks") << 30 * 86400.0 << 3 << 4 << 5 << "1mo 7d";
        QTest::newRow("30 years") << 30 * 365.25 * 86400 << 10 << 4 << 5 << "5y 1y";
    }

    void steps()
    {
        QFETCH(double, span);
        QFETCH(int, maxMajor);
        QFETCH(int, format);
        QFETCH(int, maxMinor);
        QFETCH(QString, steps);
        const TimeStep major = majorTimeStep(span, maxMajor, timeFormatResolution(format));
        QVERIFY(major == stepOf(steps.section(' ', 0, 0)));
        QVERIFY(minorTimeStep(major, maxMinor) == stepOf(steps.section(' ', 1)));
    }

    // Ticks where the local clock reads round times of 2024, the clock
    // changes included: no tick at a time the clock skips, none twice at one
    // it repeats, days from midnight or where a skipped midnight ends.
    void ticks_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("majors");
        QTest::addColumn<int>("minors");
        const QByteArray berlin("Europe/Berlin");
        QTest::newRow("spring, 2 h") << berlin << "03-31 00:00" << "03-31 06:00" << "2h 30min"
                                     << "3/31 00:00, 3/31 04:00, 3/31 06:00" << 8;
        QTest::newRow("spring, 3 h") << berlin << "03-30 22:00" << "03-31 10:00" << "3h -"
                                     << "3/31 00:00, 3/31 03:00, 3/31 06:00, 3/31 09:00" << 0;
        QTest::newRow("autumn, 1 h") << berlin << "10-27 01:00" << "10-27 04:00" << "1h 15min"
                                     << "10/27 01:00, 10/27 02:00, 10/27 03:00, 10/27 04:00" << 9;
        QTest::newRow("weeks from Monday") << berlin << "03-01 00:00" << "03-31 23:00" << "7d -"
                                           << "3/4 00:00, 3/11 00:00, 3/18 00:00, 3/25 00:00" << 0;
        QTest::newRow("months in weeks") << berlin << "02-15 00:00" << "05-15 00:00" << "1mo 7d"
                                         << "3/1 00:00, 4/1 00:00, 5/1 00:00" << 13;
        QTest::newRow("half-hour zone") << QByteArray("Asia/Kolkata") << "03-01 10:20" << "03-01 12:30" << "1h -"
                                        << "3/1 11:00, 3/1 12:00" << 0;
        QTest::newRow("midnight skipped") << QByteArray("America/Santiago") << "09-06 12:00" << "09-09 12:00" << "1d -"
                                          << "9/7 00:00, 9/8 01:00, 9/9 00:00" << 0;
    }

    void ticks()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, steps);
        zeptest::useZone(zone);
        auto at = [](const QString &t) { return QDateTime::fromString("2024-" + t, "yyyy-MM-dd hh:mm"); };
        const TimeStep major = stepOf(steps.section(' ', 0, 0));
        const TimeTicks ticks = timeTicks(at(from).toSecsSinceEpoch(), at(to).toSecsSinceEpoch(), major,
                                          stepOf(steps.section(' ', 1)));
        QStringList majors;
        for (double t : ticks.major)
            majors << QDateTime::fromSecsSinceEpoch(qint64(t)).toString(QStringLiteral("M/d hh:mm"));
        QTEST(majors.join(QStringLiteral(", ")), "majors");
        QTEST(int(ticks.minor.size()), "minors");
    }

    void zeroWidthHasNoTicks()
    {
        TimeScaleEngine engine;
        QVERIFY(engine.divideScale(100, 100, 10, 5).ticks(QwtScaleDiv::MajorTick).isEmpty());
    }
};

ZEP_TEST_MAIN_CORE(TestTimeAxis)
#include "tst_timeaxis.moc"
