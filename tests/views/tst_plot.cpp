#include "data/appconfig.h"
#include "data/samplegaps.h"
#include "views/curvetracker.h"
#include "views/plot.h"
#include "views/recordseries.h"
#include "views/timesteps.h"
#include "views/viewcurve.h"
#include "testsupport.h"
#include "seriestesting.h"
#include "../data/datafiletestutil.h"
#include "bench/benchmemory.h"
#include "legendtesting.h"

#include <qwt_painter.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_panner.h>
#include <qwt_scale_widget.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_div.h>

#include <QRandomGenerator>

#include <cmath>
#include <vector>

namespace {

QPair<double, double> xSpan(const Plot &plot)
{
    const QwtScaleDiv &div = plot.axisScaleDiv(QwtPlot::xBottom);
    return {div.lowerBound(), div.upperBound()};
}

QImage canvasImage(Plot &plot)
{
    // New labels may move the axes' borders, which Qt lays out later.
    plot.replot();
    QCoreApplication::processEvents();
    plot.replot();
    return plot.canvas()->grab().toImage();
}

// A random walk with far more samples than the canvas has pixels, spikes
// included, so that every pixel column has its own extremes.
std::vector<SampleRecord> walk(int count)
{
    std::vector<SampleRecord> records(size_t(count), SampleRecord{});
    QRandomGenerator random(5);
    float y[kValueCount] = {};
    for (int i = 0; i < count; ++i) {
        records[size_t(i)].time = 1000000u + uint32_t(i);
        for (int k = 0; k < kValueCount; ++k) {
            y[k] += float(random.generateDouble() - 0.5) * (k + 1);
            const bool spike = random.bounded(5000) == 0;
            records[size_t(i)].values[k] = spike ? y[k] + 400.0f : y[k];
        }
    }
    return records;
}

// In every format: at least two labels where the span holds four of the
// finest steps the format shows, each at a round local time, none alike.
void checkTimeLabels(Plot &plot, int span)
{
    for (AppConfig.disp.timeformat = 0; AppConfig.disp.timeformat < 8; ++AppConfig.disp.timeformat) {
        plot.setSettings(AppConfig.disp);
        const QList<double> t = plot.axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick);
        const qint64 finest = timeFormatResolution(AppConfig.disp.timeformat).shortestSeconds();
        QVERIFY(t.size() >= 2 || span < 4 * finest);
        QStringList labels;
        for (int i = 0; i < t.size(); ++i) {
            labels << plot.axisScaleDraw(QwtPlot::xBottom)->label(t[i]).text();
            const auto step = qint64(t.size() < 2 ? finest : i > 0 ? t[i] - t[i - 1] : t[1] - t[0]);
            QCOMPARE(QDateTime::fromSecsSinceEpoch(qint64(t[i])).time().msecsSinceStartOfDay() / 1000 % step, 0);
        }
        QCOMPARE(labels.removeDuplicates(), 0);
    }
}

} // namespace

class TestPlot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { zeptest::useZone("Asia/Shanghai"); }

    void init()
    {
        defaultDisplayConfig(AppConfig.disp);
    }

    // Whichever allocation of the summary fails, and however, nothing
    // escapes: the plot is incomplete.
    void columnsBeyondMemoryLeaveThePlotIncomplete_data()
    {
        QTest::addColumn<int>("failing"); // the allocation that fails, from 1
        QTest::addColumn<bool>("throws"); // with std::bad_alloc instead of null
        QTest::newRow("the first gives nothing") << 1 << false;
        QTest::newRow("the second throws") << 2 << true;
    }

    void columnsBeyondMemoryLeaveThePlotIncomplete()
    {
        QFETCH(int, failing);
        QFETCH(bool, throws);
        std::vector<SampleRecord> records(1 << 16);
        int calls = 0;
        const SummaryAllocator allocate = [&](size_t bytes) -> void * {
            if (++calls != failing)
                return malloc(bytes);
            if (throws)
                throw std::bad_alloc();
            return nullptr;
        };
        const Plot plot(records.data(), int(records.size()), AppConfig.disp, nullptr, allocate);
        QVERIFY(!plot.complete());
        QCOMPARE(calls, failing);
        QCOMPARE(plot.curves().first()->dataSize(), size_t(0));
    }

    void titles_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("title");
        QTest::newRow("padded name, unit") << 1 << 220.5f << " UA  (V):220.5 ";
        QTest::newRow("blank unit") << 16 << 0.973f << "COS  :0.973    ";
        QTest::newRow("a blank makes room") << 5 << 381.125f << " UAB(V):381.125";
        QTest::newRow("spike") << 15 << 1234567.8f << "TS(VA):1.23457e+06";
    }

    void titles()
    {
        QFETCH(int, column);
        QFETCH(float, value);
        auto file = zeptest::sampleDataFile(3);
        file->records[2].setValue(column, value);
        Plot plot(file->records, 3, AppConfig.disp);
        QTEST(plot.curves().at(column - 1)->title().text(), "title");
    }

    void construction()
    {
        auto file = zeptest::sampleDataFile(3, 1525586601, 60);
        Plot plot(file->records, 3, AppConfig.disp);
        QCOMPARE(plot.footer().text(), QStringLiteral("时间范围： 2018-05-06 14:03:21 -> 2018-05-06 14:05:21"));
        QCOMPARE(plot.curves().size(), 31);
        QVERIFY(plot.curves().first()->testRenderHint(QwtPlotItem::RenderAntialiased));
        QCOMPARE(plot.curves().at(4)->dataSize(), size_t(3));
        QCOMPARE(plot.curves().at(4)->sample(1).y(), double(file->records[1].value(5)));
        QCOMPARE(plot.tracker()->rubberBandPen(), QPen(QColor(QStringLiteral("MediumOrchid")), 2));
        QCOMPARE(plot.zoomer()->trackerPen().color().alpha(), 0);
        QVector<QwtEventPattern::MousePattern> patterns = plot.zoomer()->mousePattern();
        QCOMPARE(patterns[QwtEventPattern::MouseSelect2].button, Qt::RightButton);
        QCOMPARE(patterns[QwtEventPattern::MouseSelect2].modifiers, Qt::ControlModifier);
        QCOMPARE(patterns[QwtEventPattern::MouseSelect3].modifiers, Qt::NoModifier);
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        plot.canvas()->findChild<QwtPlotPanner *>()->getMouseButton(button, modifiers);
        QCOMPARE(button, Qt::MiddleButton);
        QCOMPARE(modifiers, Qt::NoModifier);
        QCOMPARE(xSpan(plot), qMakePair(1525586601.0, 1525586721.0));
    }

    // A file of a few seconds gets no two major time ticks within a second.
    void timeTicksAtLeastOneSecondApart()
    {
        auto file = zeptest::sampleDataFile(3, 1525586601, 1);
        Plot plot(file->records, 3, AppConfig.disp);
        plot.replot();
        const QList<double> ticks = plot.axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick);
        QVERIFY(ticks.size() >= 2);
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY2(ticks[i] - ticks[i - 1] >= 1.0, qPrintable(QString::number(ticks[i] - ticks[i - 1])));
    }

    // A new time format shows at once, and a narrow window gets no more
    // time labels than fit side by side; over a minute, an hour, a day and a
    // week, at 1600 and 640 pixels, labels of every format stand at round
    // local times, each its own.
    void timeAxisFollowsFormatAndWidth_data()
    {
        QTest::addColumn<int>("span");
        for (int span : {60, 3600, 43200, 86400, 604800})
            QTest::addRow("%d s", span) << span;
    }

    void timeAxisFollowsFormatAndWidth()
    {
        QFETCH(int, span);
        auto file = zeptest::sampleDataFile(2, 1525586601, uint32_t(span));
        AppConfig.disp.timeformat = 1;
        Plot plot(file->records, 2, AppConfig.disp);
        plot.resize(1600, 600);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        QwtScaleWidget *axis = plot.axisWidget(QwtPlot::xBottom);
        const int oneLine = axis->height();
        AppConfig.disp.timeformat = 7;
        plot.setSettings(AppConfig.disp);
        if (span < 86400)
            QTRY_VERIFY(axis->height() > oneLine);
        checkTimeLabels(plot, span);
        plot.resize(640, 600);
        QTRY_COMPARE(plot.width(), 640);
        plot.replot();
        const QList<double> ticks = plot.axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick);
        const QwtScaleMap map = plot.canvasMap(QwtPlot::xBottom);
        QVERIFY(ticks.size() >= 2);
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY(map.transform(ticks[i]) - map.transform(ticks[i - 1])
                    > plot.axisScaleDraw(QwtPlot::xBottom)->labelSize(axis->font(), ticks[i]).width());
        checkTimeLabels(plot, span);
    }

    void oneRecord()
    {
        auto file = zeptest::sampleDataFile(1);
        Plot plot(file->records, 1, AppConfig.disp);
        QCOMPARE(xSpan(plot).first, xSpan(plot).second);
        QVERIFY(plot.footer().text().endsWith(QStringLiteral("2018-05-06 14:03:21 -> 2018-05-06 14:03:21")));
        QVERIFY(plot.complete());
    }

    void rangeAndZoom()
    {
        auto file = zeptest::sampleDataFile(100, 1000, 10);
        Plot plot(file->records, 100, AppConfig.disp);
        const QString footer = plot.footer().text();
        const QRectF base = plot.zoomer()->zoomBase();
        plot.setxRange(5000, 9000); // past the file's end
        QCOMPARE(xSpan(plot), qMakePair(5000.0, 9000.0));
        QCOMPARE(plot.footer().text(), footer);
        QCOMPARE(plot.zoomer()->zoomBase(), base);

        plot.zoomer()->zoom(QRectF(1100, -100, 100, 500));
        QCOMPARE(plot.zoomer()->zoomRectIndex(), 1u);
        plot.setSettings(AppConfig.disp);
        QCOMPARE(plot.zoomer()->zoomRectIndex(), 0u);
        QCOMPARE(xSpan(plot), qMakePair(1000.0, 1990.0));
    }

    void curvesSwitchedOff()
    {
        auto file = zeptest::sampleDataFile(5);
        AppConfig.disp.para_on[3] = false;
        Plot plot(file->records, 5, AppConfig.disp);
        QVERIFY(!plot.curves().at(3)->isVisible());
        QVERIFY(plot.curves().at(4)->isVisible());
        AppConfig.disp.para_on[3] = true;
        AppConfig.disp.para_red[3] = 12;
        plot.setSettings(AppConfig.disp);
        QVERIFY(plot.curves().at(3)->isVisible());
        QCOMPARE(plot.curves().at(3)->pen().color(), QColor(12, AppConfig.disp.para_green[3], AppConfig.disp.para_blue[3]));
    }

    // What stays shown after clicks and menu choices on the legend looks as
    // a window opened with only those curves on, zoomed or not.
    void legendShowsAndHides_data()
    {
        QTest::addColumn<QStringList>("steps"); // entries clicked, menu texts
        QTest::addColumn<QString>("view");
        QTest::addColumn<QList<int>>("shown"); // columns
        QList<int> all;
        for (int c = 1; c <= kValueCount; ++c)
            all << c;
        QTest::newRow("all, a click hides") << QStringList{"电压", "显示全部", "12"} << "full" << all.mid(0, 12) + all.mid(13);
        QTest::newRow("voltages, zoomed") << QStringList{"电压"} << "zoomed" << all.mid(0, 8);
        QTest::newRow("unbalance, time span") << QStringList{"不平衡度"} << "span" << all.mid(29);
        QTest::newRow("powers and UA") << QStringList{"功率", "0"} << "full" << QList<int>{1, 13, 14, 15};
        QTest::newRow("frequency apart from the power factor") << QStringList{"频率"} << "full" << QList<int>{17};
    }

    void legendShowsAndHides()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, view);
        QFETCH(QList<int>, shown);
        auto file = zeptest::sampleDataFile(20, 1000, 10);
        Plot plot(file->records, 20, AppConfig.disp);
        const QRectF zoomed(1050, -100, 50, 300);
        if (view == "zoomed")
            plot.zoomer()->zoom(zoomed);
        if (view == "span")
            plot.setxRange(1020, 1100);
        for (const QString &step : steps)
            step.at(0).isDigit() ? QTest::mouseClick(zeptest::legendLabel(plot, step.toInt()), Qt::LeftButton)
                                 : zeptest::chooseFromLegendMenu(plot, step);
        for (int k = 0; k < kValueCount; ++k) {
            AppConfig.disp.para_on[k] = shown.contains(k + 1);
            QCOMPARE(plot.curves().at(k)->isVisible(), AppConfig.disp.para_on[k]);
            QCOMPARE(zeptest::legendLabel(plot, k)->isChecked(), !AppConfig.disp.para_on[k]);
        }
        Plot opened(file->records, 20, AppConfig.disp);
        QCOMPARE(plot.zoomer()->zoomBase(), opened.zoomer()->zoomBase());
        QCOMPARE(plot.zoomer()->zoomRect(), view == "zoomed" ? zoomed : opened.zoomer()->zoomBase());
        QCOMPARE(xSpan(plot).first, view == "span" ? 1020.0 : plot.zoomer()->zoomRect().left());
        plot.zoomer()->zoom(0);
        QCOMPARE(plot.axisInterval(QwtPlot::yLeft), opened.axisInterval(QwtPlot::yLeft));
    }

    void thinnedDrawingLooksTheSame_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("zoom"); // share of the file in view, from 30 % on
        QTest::addColumn<int>("hole"); // a two-hour hole before this record, or none
        QTest::addColumn<int>("outages"); // a minute's outage every this many records, or none
        QTest::newRow("line ends in view") << 20000 << 1.0 << -1 << 0;
        QTest::newRow("a half") << 60000 << 0.5 << -1 << 0;
        QTest::newRow("a tenth") << 60000 << 0.1 << -1 << 0;
        QTest::newRow("few samples") << 60000 << 0.002 << -1 << 0;
        QTest::newRow("ends inside groups") << 60000 << 0.10003 << -1 << 0;
        QTest::newRow("a gap in view") << 60000 << 0.2 << 25000 << 0;
        QTest::newRow("a gap, few samples") << 60000 << 0.005 << 18100 << 0;
        QTest::newRow("short runs between outages") << 20000 << 1.0 << -1 << 397;
        QTest::newRow("outages about a pixel wide") << 20000 << 1.0 << -1 << 39;
        QTest::newRow("outages, a half") << 60000 << 0.5 << -1 << 1000;
    }

    void thinnedDrawingLooksTheSame()
    {
        QFETCH(int, count);
        QFETCH(double, zoom);
        QFETCH(int, hole);
        QFETCH(int, outages);
        std::vector<SampleRecord> records = walk(count);
        for (int i = hole; hole >= 0 && i < count; ++i)
            records[size_t(i)].time += 7200;
        for (int i = 1; outages > 0 && i < count; ++i)
            records[size_t(i)].time += uint32_t(i / outages * 60);
        // Only the curve on a plain background, so that every pixel is
        // either the line or not.
        AppConfig.disp.gridlinetype = Qt::NoPen;
        // Qwt draws a long line in pieces of 20 points, each with its own
        // caps, so the two lines would get caps at different places; drawn
        // whole, they must give the same image. (Beyond some 30,000 points
        // Qt strokes a line differently again, so the full reference stays
        // below that.)
        QwtPainter::setPolylineSplitting(false);
        auto restore = qScopeGuard([] { QwtPainter::setPolylineSplitting(true); });
        Plot plot(records.data(), count, AppConfig.disp);
        // The image must match pixel for pixel, so no antialiasing.
        for (QwtPlotCurve *curve : plot.curves())
            curve->setRenderHint(QwtPlotItem::RenderAntialiased, false);
        plot.resize(900, 500);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        const uint32_t start = records[size_t(count * 3 / 10)].time;
        const uint32_t outageTime = outages > 0 ? uint32_t(count * zoom / outages) * 60 : 0;
        plot.setxRange(start, start + uint32_t(count * zoom) + (hole >= 0 ? 7200 : 0) + outageTime);
        // One curve at a time, so that no other curve hides what is compared.
        for (int shown : {0, 12, 30}) {
            for (int k = 0; k < kValueCount; ++k) {
                plot.curves().at(k)->setVisible(k == shown);
                static_cast<ViewCurve *>(plot.curves().at(k))->setThinning(true);
            }
            const QImage thinned = canvasImage(plot);
            static_cast<ViewCurve *>(plot.curves().at(shown))->setThinning(false);
            const QImage full = canvasImage(plot);
            QCOMPARE(thinned, full);
            if (hole < 0)
                continue;
            // In the middle of the hole only its band, no line (inside the
            // canvas's frame).
            const int x = qRound(plot.canvasMap(QwtPlot::xBottom).transform(records[size_t(hole)].time - 3600.0));
            const QRgb band = full.pixel(x, full.height() / 2);
            for (int y = 3; y < full.height() - 3; ++y)
                QCOMPARE(full.pixel(x, y), band);
            QVERIFY(band != qRgb(255, 255, 255));
        }
    }

    // The picks the summary gives against every sample read, for runs that
    // begin and end at and beside the edges of its groups, in pixel columns
    // from a few samples to thousands wide.
    void summaryAgainstAScan_data() { zeptest::addValuePatterns(); }

    void summaryAgainstAScan()
    {
        QFETCH(int, pattern);
        const int count = 3 * 4096 + 777;
        std::vector<SampleRecord> records = walk(count);
        QRandomGenerator random{uint32_t(pattern)};
        for (int i = 0; i < count; ++i) {
            float &v = records[size_t(i)].values[20];
            v = zeptest::patternValue(pattern, i, v, random.generate());
        }
        const auto source = std::make_shared<const RecordSource>(records.data(), count);
        const RecordSeries series(source, 21);
        const RecordSeries neighbour(source, 22);
        // The axis is fitted to the finite values only.
        float low = INFINITY, high = -INFINITY;
        for (const SampleRecord &r : records) {
            low = std::isfinite(r.values[20]) ? qMin(low, r.values[20]) : low;
            high = std::isfinite(r.values[20]) ? qMax(high, r.values[20]) : high;
        }
        QCOMPARE(series.boundingRect(), QRectF(QPointF(records.front().time, low), QPointF(records.back().time, high)));
        QwtScaleMap xMap;
        xMap.setScaleInterval(records.front().time, records.back().time);
        for (const int width : {5000, 700, 9}) {
            xMap.setPaintInterval(0, width);
            for (const int from : {0, 1, 63, 64, 65, 1023, 1024, 1025, 4095, 4097}) {
                for (const int to : {count - 1, 8191, 8192, 9000, 4200}) {
                    for (const RecordSeries *s : {&series, &neighbour}) {
                        PickedSamples picked;
                        s->pickColumns(from, to, xMap, picked);
                        QCOMPARE(picked.indexes, zeptest::scannedPicks(*s, from, to, xMap));
                        for (int i = 0; i < picked.indexes.size(); ++i) {
                            QCOMPARE(picked.points[i].x(), s->sample(size_t(picked.indexes[i])).x());
                            QCOMPARE(picked.points[i].y(), s->sample(size_t(picked.indexes[i])).y());
                        }
                    }
                }
            }
        }
    }

    // Times that go back, and an unreadable one: drawn in record order, as
    // a plain curve of the records with a time draws them.
    void backwardTimesDrawnLikeAPlainCurve()
    {
        std::vector<SampleRecord> records = walk(9000);
        QVector<QPointF> points;
        std::vector<uint32_t> times;
        for (SampleRecord &r : records) {
            r.time -= times.size() >= 6000 ? 3600 : 0;
            r.time = times.size() == 7000 ? SampleRecord::kInvalidTime : r.time;
            if (r.hasTime())
                points.append(QPointF(r.time, double(r.value(13))));
            times.push_back(r.time);
        }
        const auto image = [](QwtPlotCurve &curve, const std::vector<size_t> &breaks) {
            QwtScaleMap xMap, yMap;
            xMap.setPaintInterval(0, 400);
            xMap.setScaleInterval(1004000, 1005000);
            yMap.setPaintInterval(300, 0);
            yMap.setScaleInterval(-2000, 2000);
            QImage image(400, 300, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            size_t from = 0;
            for (size_t to : breaks) {
                curve.drawSeries(&painter, xMap, yMap, image.rect(), int(from), int(to) - 1);
                from = to;
            }
            return image.copy();
        };
        // Drawn whole, as in thinnedDrawingLooksTheSame.
        QwtPainter::setPolylineSplitting(false);
        auto restore = qScopeGuard([] { QwtPainter::setPolylineSplitting(true); });
        ViewCurve view;
        view.setData(new RecordSeries(std::make_shared<const RecordSource>(records.data(), 9000), 13));
        QwtPlotCurve plain;
        plain.setSamples(points);
        QCOMPARE(findGaps(times.data(), times.size()), std::vector<size_t>{});
        QCOMPARE(image(view, {times.size()}), image(plain, {size_t(points.size())}));
    }
};

ZEP_TEST_MAIN(TestPlot)
#include "tst_plot.moc"
