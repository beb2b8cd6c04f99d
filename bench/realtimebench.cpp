// The real-time window after a week of 1-second samples in every store: how
// long one refresh tick with its redraw takes at 1600 x 900, also after the
// clock was set back once near the series' start, and how long
// the sampling thread's appends take while the window draws, and what the
// journal adds to each poll; then the same for several meters on one link,
// one of them dead (metersbench.cpp).

#include "bench/benchfile.h"
#include "bench/metersbench.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "realtime/livejournal.h"
#include "realtime/metersession.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <qwt_plot_canvas.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

class BenchPlot : public RealPlot
{
public:
    explicit BenchPlot(SignalData &series)
        : RealPlot(AppConfig.disp, series)
    {
    }

    // One tick as the timer runs it, then the redraw it asks for, done now.
    void tickAndPaint()
    {
        refreshTick();
        canvas()->repaint();
    }
};

// The process's peak resident size so far (VmHWM), in bytes; 0 where the
// system does not tell.
long peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong() * 1024;
    }
    return 0;
}

SampleRecord pollAt(int i)
{
    SampleRecord poll{};
    for (int c = 1; c <= kValueCount; ++c)
        poll.setValue(c, float(100.0 * c + 20.0 * std::sin(i / 600.0 + c)));
    return poll;
}

struct AppendStats {
    size_t count = 0;
    int polls = 0;
    int redraws = 0;
    int overMs = 0;
    double p999 = 0;
    double longest = 0;
};

// Runs a writer thread appending polls for three seconds while this thread
// repeats work(); every append's own duration is recorded.
template <typename Work>
AppendStats appendWhile(SignalData &series, double firstX, Work work)
{
    std::atomic<bool> running{true};
    std::vector<double> micros;
    micros.reserve(4000000);
    AppendStats stats;
    QThread *writer = QThread::create([&] {
        while (running && micros.size() < micros.capacity()) {
            const SampleRecord poll = pollAt(stats.polls);
            QElapsedTimer t;
            t.start();
            series.appendPoll(uint32_t(firstX) + uint32_t(stats.polls), poll.values);
            micros.push_back(t.nsecsElapsed() / 1e3);
            ++stats.polls;
        }
    });
    writer->start();
    QElapsedTimer window;
    window.start();
    while (window.elapsed() < 3000 && !writer->isFinished()) {
        work();
        ++stats.redraws;
    }
    running = false;
    writer->wait();
    delete writer;

    std::sort(micros.begin(), micros.end());
    stats.count = micros.size();
    if (!micros.empty()) {
        stats.longest = micros.back();
        stats.p999 = micros[micros.size() * 999 / 1000];
        stats.overMs = int(micros.end() - std::upper_bound(micros.begin(), micros.end(), 1000.0));
    }
    return stats;
}

// What appending one poll to the journal costs the sampling thread, fsync
// every few seconds included, over 10,000 polls in a temporary folder.
bool journalAppendTimes(std::vector<double> &micros)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    LiveJournal journal(dir.path());
    const uint32_t start = uint32_t(QDateTime::currentSecsSinceEpoch());
    micros.clear();
    micros.reserve(10000);
    for (int i = 0; i < 10000; ++i) {
        const SampleRecord poll = pollAt(i);
        QElapsedTimer t;
        t.start();
        if (journal.appendPoll(start + uint32_t(i), poll) != LiveJournal::AppendResult::Written)
            return false;
        micros.push_back(t.nsecsElapsed() / 1e3);
    }
    journal.remove();
    return true;
}

} // namespace

int realtimeBenchmark(const QStringList &args)
{
    int samples = 604800;
    const int at = args.indexOf(QStringLiteral("--samples"));
    if (at >= 0 && at + 1 < args.size())
        samples = args.at(at + 1).toInt();
    int meterCount = 8;
    const int metersAt = args.indexOf(QStringLiteral("--meters"));
    if (metersAt >= 0 && metersAt + 1 < args.size())
        meterCount = args.at(metersAt + 1).toInt();
    if (samples < 2 || meterCount < 2) {
        fprintf(stderr, "--samples needs at least 2, --meters at least 2\n");
        return 2;
    }

    AppConfigRecord defaults{};
    defaultComConfig(defaults.comm);
    defaultDisplayConfig(defaults.disp);
    AppConfig = defaults;

    const uint32_t start = uint32_t(QDateTime::currentSecsSinceEpoch() - samples);
    // The meter's series, as its session holds it.
    MeterSession meter(metersOf(defaults.comm).first());
    SignalData &series = meter.series();
    const long residentBefore = peakResidentBytes();
    for (int i = 0; i < samples; ++i)
        series.appendPoll(start + uint32_t(i), pollAt(i).values);
    const double bytesPerPoll = double(peakResidentBytes() - residentBefore) / samples;
    printf("stores: %d samples each, %.1f bytes a poll\n", samples, bytesPerPoll);
    const MetersFigures meters = metersBenchmark(meterCount, samples, start, peakResidentBytes);

    BenchPlot plot(series);
    plot.setSamplingInterval(1);
    plot.resize(1600, 900);
    plot.show();
    QCoreApplication::processEvents();
    plot.tickAndPaint();

    // Fifteen ticks, each after one more poll, with the series' times shifted
    // by back for the polls after the 100th.
    const auto tickTimes = [&plot, &series, start, samples](uint32_t back) {
        std::vector<double> ticks;
        for (int i = 0; i < 15; ++i) {
            series.appendPoll(start + uint32_t(samples + i) - back, pollAt(samples + i).values);
            QElapsedTimer timer;
            timer.start();
            plot.tickAndPaint();
            ticks.push_back(timer.nsecsElapsed() / 1e6);
        }
        printf("refresh tick with redraw at 1600x900%s: median %.1f ms, slowest %.1f ms\n",
               back ? ", the clock set back once" : "", medianOf(ticks), *std::max_element(ticks.begin(), ticks.end()));
        return medianOf(ticks);
    };
    const double tickMs = tickTimes(0);
    // The same series once more, its clock stepped back 2 s near the start.
    series.clearValues();
    for (int i = 0; i < samples; ++i)
        series.appendPoll(start + uint32_t(i) - (i >= 100 ? 2 : 0), pollAt(i).values);
    plot.tickAndPaint();
    const double tickBackMs = tickTimes(2);

    // The sampling thread appends as fast as it can, first while this thread
    // keeps redrawing, then alone for comparison. Slow appends in both runs
    // are the series growing its buffer, not waits for the window.
    const AppendStats drawn = appendWhile(series, start + samples + 100, [&plot] { plot.tickAndPaint(); });
    const AppendStats alone = appendWhile(series, start + samples + 100 + drawn.polls, [] { QThread::msleep(5); });
    printf("appends while drawing (%d redraws): %zu, 99.9%% under %.1f us, %d over 1 ms, longest %.1f us\n",
           drawn.redraws, drawn.count, drawn.p999, drawn.overMs, drawn.longest);
    printf("appends alone: %zu, 99.9%% under %.1f us, %d over 1 ms, longest %.1f us\n", alone.count, alone.p999,
           alone.overMs, alone.longest);
    printf("longest_append_while_drawing_us=%.1f\n", drawn.longest);

    std::vector<double> journalMicros;
    if (!journalAppendTimes(journalMicros)) {
        fprintf(stderr, "the journal could not be written\n");
        return 1;
    }
    printf("journal appends: %zu polls, median %.1f us, slowest %.1f us\n", journalMicros.size(),
           medianOf(journalMicros), *std::max_element(journalMicros.begin(), journalMicros.end()));
    printf("journal_us=%.1f journal_max_us=%.1f realtime_tick_ms=%.1f realtime_tick_back_ms=%.1f "
           "store_bytes_per_poll=%.1f meters=%d meters_store_bytes_per_poll=%.1f meters_tick_ms=%.1f meters_missed=%d\n",
           medianOf(journalMicros), *std::max_element(journalMicros.begin(), journalMicros.end()), tickMs, tickBackMs,
           bytesPerPoll, meterCount, meters.storeBytesPerPoll, meters.tickMs, meters.missed);
    return 0;
}
