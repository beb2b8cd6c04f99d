#include "data/appconfig.h"
#include "views/curvetracker.h"
#include "views/legendtitle.h"
#include "views/plot.h"
#include "testsupport.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>

#include <ctime>

namespace {

class ExposedTracker : public CurveTracker
{
public:
    using CurveTracker::CurveTracker;
    using CurveTracker::trackerTextF;
};

QwtPointSeriesData series(const QVector<QPointF> &points)
{
    return QwtPointSeriesData(points);
}

} // namespace

class TestCurveTracker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void segments_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("value");
        const QVector<QPointF> three = {{10, 1}, {20, 3}, {30, 7}};
        QTest::newRow("first sample") << three << 10.0 << "1";
        QTest::newRow("between") << three << 15.0 << "2";
        QTest::newRow("exactly inner sample") << three << 20.0 << "3";
        QTest::newRow("just after inner") << three << 25.0 << "5";
        QTest::newRow("exactly last sample") << three << 30.0 << "7";
        QTest::newRow("left of curve") << three << 9.999 << "";
        QTest::newRow("right of curve") << three << 30.001 << "";
        QTest::newRow("one sample") << QVector<QPointF>{{10, 1}} << 10.0 << "";
        QTest::newRow("empty") << QVector<QPointF>{} << 10.0 << "";
        QTest::newRow("six digits") << QVector<QPointF>{{0, 0}, {3, 1}} << 1.0 << "0.333333";
        QTest::newRow("same second at the end")
            << QVector<QPointF>{{10, 1}, {20, 2}, {20, 5}} << 20.0 << "5";
        QTest::newRow("flat segment") << QVector<QPointF>{{10, 4}, {20, 4}} << 12.0 << "4";
    }

    void segments()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(double, x);
        QFETCH(QString, value);
        const QwtPointSeriesData data = series(points);
        QCOMPARE(seriesValueTextAt(data, x), value);
    }

    void binarySearchOnLongSeries()
    {
        QVector<QPointF> points;
        for (int i = 0; i < 1001; ++i)
            points.append(QPointF(1000 + 2 * i, i));
        const QwtPointSeriesData data = series(points);
        for (int i = 0; i < 1000; ++i) {
            const QLineF exact = seriesSegmentAt(data, 1000 + 2 * i);
            QCOMPARE(exact.p1(), points[i]);
            QCOMPARE(exact.p2(), points[i + 1]);
            const QLineF between = seriesSegmentAt(data, 1001 + 2 * i);
            QCOMPARE(between.p1(), points[i]);
        }
        QCOMPARE(seriesSegmentAt(data, 3000).p2(), points.last());
    }

    // A file with two hours missing: inside the hole nothing was measured.
    void trackerInAGap_data()
    {
        QTest::addColumn<double>("x"); // seconds after the first record
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("title"); // of UA
        QTest::newRow("before the gap") << 85.0 << "1970-01-01 00:01:25" << "UA(V):8.5      ";
        QTest::newRow("at the last sample before") << 90.0 << "1970-01-01 00:01:30" << "UA(V):9        ";
        QTest::newRow("just after it") << 90.5 << "无数据" << "UA(V):—        ";
        QTest::newRow("in the middle") << 3690.0 << "无数据" << "UA(V):—        ";
        QTest::newRow("at the first sample after") << 7300.0 << "1970-01-01 02:01:40" << "UA(V):10       ";
    }

    void trackerInAGap()
    {
        QFETCH(double, x);
        std::vector<SampleRecord> records(20, SampleRecord{});
        for (int i = 0; i < 20; ++i) {
            records[size_t(i)].time = uint32_t(i * 10 + (i >= 10 ? 7200 : 0));
            for (int c = 1; c <= kValueCount; ++c)
                records[size_t(i)].setValue(c, float(i));
        }
        Plot plot(records.data(), 20, AppConfig.disp);
        ExposedTracker tracker(plot.canvas());
        QTEST(tracker.trackerTextF(QPointF(x, 0)).text(), "box");
        QTEST(plot.curves().at(0)->title().text(), "title");
        QCOMPARE(plot.curves().at(30)->title().text().contains(QStringLiteral("—")), x > 90 && x < 7300);
    }

    void legendAndTimeBox()
    {
        QwtPlot plot;
        auto *canvas = new QwtPlotCanvas;
        plot.setCanvas(canvas);
        QVector<QwtPlotCurve *> curves;
        for (int k = 0; k < 3; ++k) {
            auto *curve = new QwtPlotCurve(QStringLiteral("start %1").arg(k));
            curves.append(curve);
            curve->attach(&plot);
        }
        curves[0]->setSamples(QVector<QPointF>{{100, 220.0}, {110, 221.0}});
        curves[1]->setSamples(QVector<QPointF>{{200, 5.0}, {210, 6.0}});
        curves[2]->setSamples(QVector<QPointF>{{100, 1.0}});
        plot.resize(600, 400);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));

        ExposedTracker tracker(canvas);
        QCOMPARE(tracker.trackerMode(), QwtPicker::AlwaysOn);
        QCOMPARE(tracker.rubberBand(), QwtPicker::VLineRubberBand);

        const QwtText text = tracker.trackerTextF(QPointF(105, 0));
        QCOMPARE(text.text(), QStringLiteral("1970-01-01 00:01:45"));
        QCOMPARE(text.font().pixelSize(), 16);
        QVERIFY(text.font().bold());
        QCOMPARE(text.backgroundBrush().color(), QColor(QStringLiteral("#cccccc")));
        QCOMPARE(curves[0]->title().text(), QStringLiteral("UA(V):220.5    "));
        QCOMPARE(curves[1]->title().text(), QStringLiteral("start 1"));
        QCOMPARE(curves[2]->title().text(), QStringLiteral("start 2"));

        // Titles stay when the cursor moves off a curve.
        tracker.trackerTextF(QPointF(205, 0));
        QCOMPARE(curves[0]->title().text(), QStringLiteral("UA(V):220.5    "));
        QCOMPARE(curves[1]->title().text(), QStringLiteral("UB(V):5.5      "));

        const QRect box = tracker.trackerRect(text.font());
        QCOMPARE(box.right(), canvas->width() - 5);
        QCOMPARE(box.top(), 0);
    }
};

ZEP_TEST_MAIN(TestCurveTracker)
#include "tst_curvetracker.moc"
