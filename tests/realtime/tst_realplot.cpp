#include "data/appconfig.h"
#include "data/datafile.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "views/savedialog.h"
#include "testsupport.h"
#include "../views/legendtesting.h"

#include <thread>

#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_text.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <ctime>

namespace {

// The series the windows of the tests show; each test empties it first.
SignalData &liveSeries()
{
    static SignalData series;
    return series;
}

class TestablePlot : public RealPlot
{
public:
    TestablePlot()
        : RealPlot(AppConfig.disp, liveSeries())
    {
    }
    using RealPlot::refreshTick;
};

// Appends one sample with the given time to every store; store k gets
// base + k so that each curve's value tells its store.
void appendRow(double x, double base)
{
    float values[kValueCount];
    for (int k = 0; k < kValueCount; ++k)
        values[k] = float(base + k);
    liveSeries().appendPoll(uint32_t(x), values);
}

QList<QwtPlotCurve *> curvesOf(RealPlot &plot)
{
    QList<QwtPlotCurve *> list;
    for (QwtPlotItem *item : plot.itemList(QwtPlotItem::Rtti_PlotCurve))
        list.append(static_cast<QwtPlotCurve *>(item));
    return list;
}

} // namespace

class TestRealPlot : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void init()
    {
        zeptest::freshSettings(dir);
        liveSeries().clearValues();
    }

    void construction()
    {
        TestablePlot plot;
        const QList<QwtPlotCurve *> curves = curvesOf(plot);
        QCOMPARE(curves.size(), 31);
        QCOMPARE(curves.at(0)->title().text(), QStringLiteral("UA(V)          "));
        QCOMPARE(curves.at(15)->title().text(), QStringLiteral("COS            "));
        QCOMPARE(curves.at(0)->pen().color(), QColor(255, 0, 0));
        QCOMPARE(curves.at(0)->pen().widthF(), 2.0);
        QVERIFY(curves.at(0)->testRenderHint(QwtPlotItem::RenderAntialiased));
        QCOMPARE(plot.footer().text(), QStringLiteral("时间范围："));
        QVERIFY(!plot.isRefreshing());
        QVERIFY(!plot.hasData());
        auto *badge = plot.canvas()->findChild<QLabel *>();
        QVERIFY(badge);
        QVERIFY(badge->isHidden());
        QCOMPARE(badge->size(), QSize(172, 16));
    }

    void settings()
    {
        AppConfig.disp.yAxis_scale = 0;
        AppConfig.disp.yLow = -10;
        AppConfig.disp.yHigh = 400;
        AppConfig.disp.para_on[2] = false;
        AppConfig.disp.para_red[1] = 10;
        TestablePlot plot;
        QVERIFY(!plot.axisAutoScale(QwtPlot::yLeft));
        QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).lowerBound(), -10.0);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::yLeft).upperBound(), 400.0);
        QVERIFY(!curvesOf(plot).at(2)->isVisible());
        QCOMPARE(curvesOf(plot).at(1)->pen().color(), QColor(10, 153, 51));
        QCOMPARE(plot.canvas()->palette().color(QPalette::Window), QColor(255, 255, 255));

        AppConfig.disp.yAxis_scale = 1;
        AppConfig.disp.back_red = 0;
        plot.setSettings(AppConfig.disp);
        QVERIFY(plot.axisAutoScale(QwtPlot::yLeft));
        QCOMPARE(plot.canvas()->palette().color(QPalette::Window), QColor(0, 255, 255));
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), 0.0);
    }

    // The axis follows the choice, the refresh keeps it, the settings end it.
    void legendShowsAndHides()
    {
        TestablePlot plot;
        float values[kValueCount];
        for (int k = 0; k < kValueCount; ++k) // voltages, currents, powers far above
            values[k] = k < 8 ? 230 : k < 12 ? 5 + k : 30000;
        liveSeries().appendPoll(1525586601, values);
        auto upper = [&plot] { return plot.axisScaleDiv(QwtPlot::yLeft).upperBound(); };
        zeptest::chooseFromLegendMenu(plot, QStringLiteral("电流"));
        QVERIFY(upper() >= 16 && upper() < 100);
        QTest::mouseClick(zeptest::legendLabel(plot, 30), Qt::LeftButton);
        plot.refreshTick();
        for (int k = 0; k < kValueCount; ++k)
            QCOMPARE(curvesOf(plot).at(k)->isVisible(), (k >= 8 && k <= 11) || k == 30);
        QVERIFY(upper() >= 30000);
        plot.setSettings(AppConfig.disp);
        QVERIFY(curvesOf(plot).at(0)->isVisible() && !zeptest::legendLabel(plot, 0)->isChecked());
    }

    void tickWithoutSamplesChangesNothing()
    {
        TestablePlot plot;
        plot.refreshTick();
        QCOMPARE(plot.footer().text(), QStringLiteral("时间范围："));
        QCOMPARE(curvesOf(plot).at(0)->title().text(), QStringLiteral("UA(V)          "));
    }

    void tickShowsLatestValues()
    {
        TestablePlot plot;
        plot.resize(1000, 600);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        appendRow(1525586601, 220.5);
        plot.refreshTick();
        const int canvasWidth = plot.canvas()->width();
        const QList<QwtPlotCurve *> curves = curvesOf(plot);
        QCOMPARE(curves.at(0)->title().text(), QStringLiteral("UA(V):220.5    "));
        QCOMPARE(curves.at(15)->title().text(), QStringLiteral("COS:235.5      "));
        QCOMPARE(curves.at(13)->title().text(), QStringLiteral("TQ(Var):233.5  "));
        // One sample: a range of zero width and the same time twice.
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).range(), 0.0);
        QCOMPARE(plot.footer().text(), QStringLiteral("时间范围：2018-05-06 06:03:21 -> 2018-05-06 06:03:21"));
        auto *badge = plot.canvas()->findChild<QLabel *>();
        QVERIFY(badge->isVisible());
        QCOMPARE(badge->text(), QStringLiteral("2018-05-06 06:03:21"));
        // As wide as its text (at least 172), its right edge on the canvas's.
        QVERIFY(badge->width() >= 172);
        QVERIFY2(badge->width() >= badge->sizeHint().width(),
                 qPrintable(QStringLiteral("%1 < %2").arg(badge->width()).arg(badge->sizeHint().width())));
        QVERIFY(badge->width() >= badge->fontMetrics().horizontalAdvance(badge->text()));
        QCOMPARE(badge->height(), 16);
        QCOMPARE(badge->pos(), QPoint(canvasWidth - badge->width(), 2));
        QCOMPARE(badge->geometry().right() + 1, canvasWidth);
    }

    // A text wider than 172 pixels widens the badge, which keeps its right
    // edge on the canvas's right edge.
    void badgeWidensForItsText()
    {
        TestablePlot plot;
        plot.resize(1000, 600);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        auto *badge = plot.canvas()->findChild<QLabel *>();
        QFont wide = badge->font();
        wide.setLetterSpacing(QFont::AbsoluteSpacing, 4);
        badge->setFont(wide);
        appendRow(1525586601, 220.5);
        plot.refreshTick();
        QVERIFY2(badge->sizeHint().width() > 172, qPrintable(QString::number(badge->sizeHint().width())));
        QCOMPARE(badge->width(), badge->sizeHint().width());
        QCOMPARE(badge->geometry().right() + 1, plot.canvas()->width());
    }

    // Early in an acquisition the range spans a few seconds: no two major
    // ticks closer than a second, so no two labels alike.
    void timeTicksAtLeastOneSecondApart()
    {
        TestablePlot plot;
        plot.resize(1000, 600);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        for (int i = 0; i < 3; ++i)
            appendRow(1525586601 + i, 220.5);
        plot.refreshTick();
        const QList<double> ticks = plot.axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick);
        QVERIFY(ticks.size() >= 2);
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY2(ticks[i] - ticks[i - 1] >= 1.0, qPrintable(QString::number(ticks[i] - ticks[i - 1])));
        QStringList labels;
        for (double t : ticks)
            labels << plot.axisScaleDraw(QwtPlot::xBottom)->label(t).text();
        QCOMPARE(labels.removeDuplicates(), 0);
    }

    void timeRangeScrollsOncePixelsAreUsedUp()
    {
        TestablePlot plot;
        plot.resize(1000, 600);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        // Equal values keep the legend, and so the canvas, the same width
        // from tick to tick.
        const double start = 1600000000;
        appendRow(start, 7);
        plot.refreshTick();
        QCoreApplication::processEvents();
        const int width = plot.canvas()->width();
        QVERIFY(width > 100);
        for (int i = 1; i < width; ++i)
            appendRow(start + 5 * i, 7);
        plot.refreshTick();
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).lowerBound(), start);
        QCOMPARE(plot.canvas()->width(), width);
        appendRow(start + 5 * width, 7);
        plot.refreshTick();
        const double last = start + 5 * width;
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).lowerBound(), last - width);
        QCOMPARE(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), last);
    }

    void longSeriesDrawnEdgeToEdge()
    {
        AppConfig.disp.yAxis_scale = 0;
        AppConfig.disp.yLow = 0;
        AppConfig.disp.yHigh = 10;
        for (int k = 1; k < kValueCount; ++k)
            AppConfig.disp.para_on[k] = false;
        TestablePlot plot;
        plot.resize(900, 500);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        // Far more samples than pixels, with a step in the middle of the view.
        const double start = 1600000000;
        const int count = 20000;
        for (int i = 0; i < count; ++i)
            appendRow(start + i, i < count - 200 ? 2.0 : 8.0);
        plot.refreshTick();
        QCoreApplication::processEvents();
        const QImage image = plot.canvas()->grab().toImage();
        auto redRowsIn = [&image](int column) {
            QList<int> rows;
            for (int y = 0; y < image.height(); ++y) {
                const QColor c = image.pixelColor(column, y);
                if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                    rows.append(y);
            }
            return rows;
        };
        const int w = image.width();
        const QList<int> left = redRowsIn(2);
        // The newest sample sits where the scale ends, a few pixels short of the edge.
        const QList<int> right = redRowsIn(w - 12);
        QVERIFY2(!left.isEmpty(), "the line reaches the left edge");
        QVERIFY2(!right.isEmpty(), "the line reaches the newest sample");
        // y = 2 at the left edge lies lower on the canvas than y = 8 at the right.
        QVERIFY(left.first() > right.last());
    }

    void aPendingPollIsNotShown()
    {
        TestablePlot plot;
        appendRow(100, 1);
        appendRow(101, 2);
        // A poll that came while a redraw held the stores.
        liveSeries().lock();
        std::thread([] { appendRow(102, 3); }).join();
        liveSeries().unlock();
        plot.refreshTick();
        QCOMPARE(curvesOf(plot).at(0)->title().text(), QStringLiteral("UA(V):2        "));
        QCOMPARE(curvesOf(plot).at(30)->title().text(), QStringLiteral("UnbI(%):32     "));
    }

    void refreshTimer()
    {
        copyToField(AppConfig.comm.interval, "1s");
        TestablePlot plot;
        plot.startRefresh(intervalSeconds());
        QVERIFY(plot.isRefreshing());
        plot.startRefresh(intervalSeconds());
        plot.stopRefresh();
        QVERIFY(!plot.isRefreshing());
        // No earlier timer may still fire into the window.
        appendRow(1525586601, 1);
        QTest::qWait(1300);
        QCOMPARE(plot.footer().text(), QStringLiteral("时间范围："));
        plot.startRefresh(intervalSeconds());
        QTRY_COMPARE_WITH_TIMEOUT(plot.footer().text().isEmpty(), false, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(plot.footer().text().contains(QLatin1String("->")), 3000);
    }

    void saveWritesEveryRow()
    {
        TestablePlot plot;
        appendRow(1525586601, 220.123);
        appendRow(1525586606, -5.1);
        const QString path = dir->filePath(QStringLiteral("saved.txt"));
        plot.setSaveFileNameProvider([path] { return path; });
        QCOMPARE(plot.saveData(), RealPlot::SaveResult::Saved);
        QCOMPARE(plot.savedSamples(), 2);
        QCOMPARE(countRecords(path), 2);
        DataFile file(path, 2);
        QCOMPARE(readRecords(&file), 2);
        QCOMPARE(file.records[0].time, 1525586601u);
        QCOMPARE(file.records[1].time, 1525586606u);
        QCOMPARE(file.records[0].value(1), 220.12f);
        QCOMPARE(file.records[1].value(1), -5.1f);
        QCOMPARE(file.records[1].value(17), QString::number(-5.1 + 16, 'f', 3).toFloat());
    }

    void savedNameGetsTheDataSuffix()
    {
        const QString typed = dir->filePath(QStringLiteral("live1")), taken = dir->filePath(QStringLiteral("live2"));
        QVERIFY(QFile(taken + QStringLiteral(".txt")).open(QIODevice::WriteOnly));
        zeptest::FileDialogLog dialogs;
        zeptest::MessageBoxLog boxes;
        dialogs.answers = QStringList{typed, taken, taken};
        boxes.answers = {QMessageBox::No, QMessageBox::Yes};
        dialogs.start();
        boxes.start();
        QCOMPARE(askDataFileSaveName(nullptr), typed + QStringLiteral(".txt"));
        // Replacing live2.txt is asked about; No asks for another name.
        QCOMPARE(askDataFileSaveName(nullptr), taken + QStringLiteral(".txt"));
        QCOMPARE(boxes.seen.size(), 2);
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("errorShown");
        QTest::newRow("cancel keeps the window") << int(QMessageBox::Cancel) << "x.txt" << false << false;
        QTest::newRow("no closes") << int(QMessageBox::No) << "x.txt" << true << false;
        QTest::newRow("yes saves and closes") << int(QMessageBox::Yes) << "x.txt" << true << false;
        QTest::newRow("yes then cancelled dialog keeps the window") << int(QMessageBox::Yes) << "" << false << false;
        QTest::newRow("yes with unwritable file keeps the window")
            << int(QMessageBox::Yes) << "no-such-dir/x.txt" << false << true;
    }

    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QString, fileName);
        QFETCH(bool, closes);
        QFETCH(bool, errorShown);
        auto *plot = new TestablePlot;
        QPointer<RealPlot> guard(plot);
        plot->setAttribute(Qt::WA_DeleteOnClose);
        const QString path = fileName.isEmpty() ? QString() : dir->filePath(fileName);
        plot->setSaveFileNameProvider([path] { return path; });
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot));
        appendRow(1525586601, 1);

        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::StandardButton(answer), QMessageBox::Ok};
        boxes.start();
        const bool closed = plot->close();
        boxes.stop();
        QCOMPARE(closed, closes);
        QVERIFY(!boxes.seen.isEmpty());
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("提示"));
        QCOMPARE(boxes.seen.at(0).text, QStringLiteral("需要保存数据吗？"));
        QCOMPARE(boxes.seen.at(0).buttons,
                 QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel));
        QCOMPARE(boxes.seen.size() == 2, errorShown);
        if (errorShown) {
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("错误"));
            QVERIFY(boxes.seen.at(1).text.contains(QLatin1String("x.txt")));
        }
        if (closes) {
            QTRY_VERIFY(guard.isNull());
            QCOMPARE(liveSeries().size(), 0);
        } else {
            QVERIFY(!guard.isNull());
            QCOMPARE(liveSeries().size(), 1);
            delete plot;
        }
    }

    void noQuestionWithoutNewSamples()
    {
        TestablePlot plot;
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        zeptest::MessageBoxLog boxes;
        boxes.start();
        QVERIFY(plot.close());
        QVERIFY(boxes.seen.isEmpty());

        plot.show();
        appendRow(1525586601, 1);
        const QString path = dir->filePath(QStringLiteral("once.txt"));
        plot.setSaveFileNameProvider([path] { return path; });
        QCOMPARE(plot.saveData(), RealPlot::SaveResult::Saved);
        QVERIFY(plot.close());
        QVERIFY(boxes.seen.isEmpty());

        plot.show();
        appendRow(1525586602, 1);
        boxes.answers = {QMessageBox::No};
        QVERIFY(plot.close());
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
    }
};

ZEP_TEST_MAIN(TestRealPlot)
#include "tst_realplot.moc"
