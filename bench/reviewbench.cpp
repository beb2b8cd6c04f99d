// Review of a large data file: loading it, opening it into its two windows,
// redrawing the trend plot at full view (the same view again, and a view
// not drawn before) and zoomed in, creating the table, a search that finds
// nothing and a copy of 100,000 rows. With --merged N, also the same records
// as N files opened as one; with --outages N, the meter away for a minute N
// times, spread evenly over the file.

#include "app/mainwindow.h"
#include "bench/benchfile.h"
#include "bench/benchmemory.h"
#include "data/datafile.h"
#include "views/mytableview.h"
#include "views/plot.h"

#include <qwt_plot_canvas.h>
#include <qwt_scale_div.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

double msOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(msOf(work));
    return medianOf(times);
}

// A replot as the canvas shows it: the scales, then every curve drawn now.
void replotNow(Plot &plot)
{
    plot.replot();
    plot.canvas()->repaint();
}

} // namespace

int reviewBenchmark(const QStringList &args)
{
    const int records = qMax(2, recordsArgument(args, 1000000));
    const int mergedAt = args.indexOf(QStringLiteral("--merged"));
    const int parts = mergedAt >= 0 && mergedAt + 1 < args.size() ? qBound(0, args.at(mergedAt + 1).toInt(), records) : 0;
    const int outagesAt = args.indexOf(QStringLiteral("--outages"));
    const int outages =
        outagesAt >= 0 && outagesAt + 1 < args.size() ? qBound(0, args.at(outagesAt + 1).toInt(), records - 1) : 0;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    // The main window keeps its settings in the working directory and the
    // per-user store: both go to the temporary directory.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config-home")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QDir::setCurrent(dir.path());

    const QString path = dir.filePath(QStringLiteral("review.txt"));
    const uint32_t start = uint32_t(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch());
    // Split into files, the records are a second apart: a week of 604,800
    // in 7 files is 7 daily files.
    BenchFileWriter writer(start, parts > 0 ? 1 : 5);
    writer.setOutages(outages, records);
    if (!writer.write(path, records))
        return 1;
    printf("file: %d records, %d outages, %.1f MB\n", records, outages, QFile(path).size() / 1e6);
    QStringList partPaths;
    for (int p = 0; p < parts; ++p) {
        const int first = int(qint64(records) * p / parts);
        partPaths << dir.filePath(QStringLiteral("part-%1.txt").arg(p));
        if (!writer.write(partPaths.last(), int(qint64(records) * (p + 1) / parts) - first, first))
            return 1;
    }
    // Into the page cache.
    for (const QString &file : QStringList(path) + partPaths) {
        if (!loadDataFile(file)) {
            fprintf(stderr, "the file does not load\n");
            return 1;
        }
    }

    // Opening into both windows, in a main window of the benchmark's size:
    // the file, then its records as several files opened as one. With the
    // files, each open's peak memory is its own.
    double openMs = 0;
    double rssMb = 0;
    double mergedMs = 0;
    double mergedRssMb = 0;
    for (const bool merged : {false, true}) {
        if (merged && parts == 0)
            break;
        std::vector<double> opens;
        for (int run = 0; run < 3; ++run) {
            MainWindow window;
            window.resize(1800, 1000);
            window.show();
            QCoreApplication::processEvents();
            if (parts > 0)
                resetPeakResident();
            opens.push_back(msOf([&] {
                if (merged)
                    window.openMerged(partPaths);
                else
                    window.loadFile(path);
                QCoreApplication::processEvents();
            }));
            if (window.documentArea()->subWindowList().size() != 2
                || int(window.openDocuments().first()->count) != records) {
                fprintf(stderr, "the records did not open into two windows\n");
                return 1;
            }
            (merged ? mergedRssMb : rssMb) = qMax(merged ? mergedRssMb : rssMb, peakResidentMb());
        }
        (merged ? mergedMs : openMs) = medianOf(opens);
    }
    std::vector<double> loads;
    std::unique_ptr<DataFile> file;
    for (int run = 0; run < 3; ++run) {
        file.reset();
        loads.push_back(msOf([&] { file = loadDataFile(path); }));
    }
    const double loadMs = medianOf(loads);
    std::unique_ptr<Plot> made;
    printf("plot construction: %.0f ms\n", medianMs(3, [&] { made = std::make_unique<Plot>(file->records, int(file->count), AppConfig.disp); }));
    made.reset();
    Plot plot(file->records, int(file->count), AppConfig.disp);
    plot.resize(1600, 900);
    plot.show();
    QCoreApplication::processEvents();
    // Size the plot so that its canvas, not the whole widget, is 1600 x 900
    // (the legend's width settles with the layout).
    for (int i = 0; i < 3 && plot.canvas()->size() != QSize(1600, 900); ++i) {
        plot.resize(plot.size() + (QSize(1600, 900) - plot.canvas()->size()));
        QCoreApplication::processEvents();
    }
    replotNow(plot);
    const double replotMs = medianMs(5, [&] { replotNow(plot); });
    // What a view that was not drawn before costs: the full view moved by
    // a pixel's time before each replot.
    const double pixel = double(plot.endTime() - plot.startTime()) / plot.canvas()->width();
    int moves = 0;
    const double panMs = medianMs(5, [&] {
        ++moves;
        plot.setAxisScale(QwtPlot::xBottom, plot.startTime() + moves * pixel, plot.endTime() + moves * pixel);
        replotNow(plot);
    });
    printf("full view moved by a pixel each time: %.1f ms\n", panMs);
    const double span = double(plot.endTime() - plot.startTime());
    const double zoomStart = plot.startTime() + span / 2;
    plot.setAxisScale(QwtPlot::xBottom, zoomStart, zoomStart + span / 1000);
    replotNow(plot);
    const double zoomMs = medianMs(5, [&] { replotNow(plot); });
    printf("plot canvas %dx%d\n", plot.canvas()->width(), plot.canvas()->height());

    std::unique_ptr<MyTableView> table;
    const double before = residentMb();
    const double tableMs = msOf([&] {
        table = std::make_unique<MyTableView>(file.get());
        table->resize(1600, 900);
        table->show();
        QCoreApplication::processEvents();
    });
    const double tableMb = residentMb() - before;

    const double findMs = medianMs(3, [&] {
        table->setCurrentIndex(QModelIndex());
        table->find(-1.0e9, 0.05, 0);
    });
    if (table->currentIndex().isValid()) {
        fprintf(stderr, "the search found something\n");
        return 1;
    }

    table->setxRange(file->records[0].time, file->records[99999 < records ? 99999 : records - 1].time);
    QString copied;
    const double copyMs = medianMs(3, [&] {
        table->selectAll();
        table->copySelection();
    });
    copied = QApplication::clipboard()->text();
    printf("copied %lld characters, %d lines\n", static_cast<long long>(copied.size()), int(copied.count('\n')) + 1);

    const QByteArray mergedOpen = parts > 0 ? QByteArray(" merged_open_ms=") + QByteArray::number(mergedMs, 'f', 0) : "";
    const QByteArray mergedRss = parts > 0 ? QByteArray(" merged_rss_mb=") + QByteArray::number(mergedRssMb, 'f', 0) : "";
    const QByteArray outageCount = outagesAt >= 0 ? QByteArray(" outages=") + QByteArray::number(outages) : "";
    printf("review: load_ms=%.0f open_ms=%.0f%s replot_ms=%.1f replot_zoom_ms=%.1f table_ms=%.1f table_mb=%.1f "
           "find_ms=%.0f copy_ms=%.0f rss_mb=%.0f%s%s\n",
           loadMs, openMs, mergedOpen.constData(), replotMs, zoomMs, tableMs, tableMb, findMs, copyMs, rssMb,
           mergedRss.constData(), outageCount.constData());
    return 0;
}
