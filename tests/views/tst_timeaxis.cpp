#include "data/localtimetext.h"
#include "views/legendtitle.h"
#include "views/timescaledraw.h"
#include "testsupport.h"

#include <ctime>

class TestTimeAxis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A fixed zone east of UTC, so that a label shown in UTC would fail.
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    void labels_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("label");
        // 2018-05-06 06:03:21 UTC is 14:03:21 in Shanghai.
        QTest::newRow("0") << 0 << "14:03";
        QTest::newRow("1") << 1 << "14:03:21";
        QTest::newRow("2") << 2 << "2018-05-06";
        QTest::newRow("3") << 3 << "14:03\n2018-05-06";
        QTest::newRow("4") << 4 << "14:03:21\n2018-05-06";
        QTest::newRow("5") << 5 << "06/05/2018";
        QTest::newRow("6") << 6 << "14:03\n06/05/2018";
        QTest::newRow("7") << 7 << "14:03:21\n06/05/2018";
        QTest::newRow("99") << 99 << "14:03:21\n06/05/2018";
        QTest::newRow("-1") << -1 << "14:03:21\n06/05/2018";
    }

    void labels()
    {
        QFETCH(int, format);
        QFETCH(QString, label);
        TimeScaleDraw draw;
        draw.setTimeFormat(format);
        const double value = 1525586601.0;
        QCOMPARE(draw.label(value).text(), label);
        // Fractions of a second are cut, not rounded.
        QCOMPARE(draw.label(value + 0.999).text(), label);
        QCOMPARE(timeLabelText(value, format), label);
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

    // Major ticks of a time axis are never closer than one second; wider
    // ranges keep the linear engine's own steps.
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
        QTest::newRow("800 s") << t << t + 800 << 10 << 100.0;
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

    void zeroWidthHasNoTicks()
    {
        TimeScaleEngine engine;
        QVERIFY(engine.divideScale(100, 100, 10, 5).ticks(QwtScaleDiv::MajorTick).isEmpty());
    }
};

ZEP_TEST_MAIN_CORE(TestTimeAxis)
#include "tst_timeaxis.moc"
