// Several meters on one link, one of them dead: what the others lose to it
// in a live run, what a week of 1 s polls of each costs the live store, and
// how long the refresh tick of all their real-time windows takes.

#include "bench/metersbench.h"

#include "bench/benchfile.h"
#include "comm/meterlink.h"
#include "comm/station.h"
#include "data/appconfig.h"
#include "realtime/metersession.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <qwt_plot_canvas.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Every meter answers at once but the dead one, which stays silent for as
// long as its poll may wait.
class BusLink : public MeterLink
{
public:
    BusLink(const ComConfig &settings, int deadAddress)
        : MeterLink(settings)
        , deadAddress(deadAddress)
    {
    }
    int open() override { return 0; }
    void close() override {}
    int readValues(int address, float *pollBuffer) override
    {
        if (address == deadAddress) {
            QThread::msleep(static_cast<unsigned long>(replyTimeoutMs()));
            return 4;
        }
        for (int c = 1; c < kColumnCount; ++c)
            pollBuffer[c] = float(address * 100 + c);
        return 0;
    }

private:
    const int deadAddress;
};

class TickPlot : public RealPlot
{
public:
    explicit TickPlot(SignalData &series)
        : RealPlot(AppConfig.disp, series)
    {
    }
    void tickAndPaint()
    {
        refreshTick();
        canvas()->repaint();
    }
};

SampleRecord meterPoll(int meter, int i)
{
    SampleRecord poll{};
    for (int c = 1; c <= kValueCount; ++c)
        poll.setValue(c, float((1 + meter) * 10.0 * c + 20.0 * std::sin(i / 600.0 + c + meter)));
    return poll;
}

QVector<MeterConfig> busMeters(int count)
{
    QVector<MeterConfig> meters;
    for (int m = 1; m <= count; ++m)
        meters.append({QStringLiteral("电表%1").arg(m), m});
    return meters;
}

// Slots that the meters other than the dead one (the last) lost in a run
// of slotCount slots at 1 s.
int missedBesideTheDead(int meterCount, int slotCount)
{
    Station station;
    station.setLinkFactory([meterCount](const ComConfig &c) { return std::make_unique<BusLink>(c, meterCount); });
    StationConfig config;
    defaultComConfig(config.link);
    copyToField(config.link.interval, "1s");
    config.meters = busMeters(meterCount);
    config.keepAcquiring = true;
    station.start(config);
    QElapsedTimer running;
    running.start();
    while (station.session(0).pollFaults.slotCount < slotCount && running.elapsed() < 3000 * slotCount)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    station.stop();
    int missed = 0;
    for (int m = 0; m + 1 < meterCount; ++m)
        missed += station.session(m).pollFaults.missed;
    printf("live run of %d meters, the last dead: %d slots, %d missed by the others, the dead one polled %d times\n",
           meterCount, station.session(0).pollFaults.slotCount, missed, station.session(meterCount - 1).pollFaults.count);
    return missed;
}

} // namespace

MetersFigures metersBenchmark(int meterCount, int samples, uint32_t start, const std::function<long()> &peakResident)
{
    MetersFigures figures;
    figures.missed = missedBesideTheDead(meterCount, 8);

    // A week of polls of every meter but the dead one, which never answered.
    std::vector<std::unique_ptr<MeterSession>> sessions;
    for (const MeterConfig &meter : busMeters(meterCount))
        sessions.push_back(std::make_unique<MeterSession>(meter));
    const long before = peakResident();
    for (int m = 0; m + 1 < meterCount; ++m) {
        for (int i = 0; i < samples; ++i)
            sessions[size_t(m)]->series().appendPoll(start + uint32_t(i), meterPoll(m, i).values);
    }
    figures.storeBytesPerPoll = double(peakResident() - before) / (double(samples) * (meterCount - 1));
    printf("stores of %d meters: %d samples each, %.1f bytes a poll and meter\n", meterCount - 1, samples,
           figures.storeBytesPerPoll);

    // Their windows tiled four by two over 1600 x 900, each tick after one
    // more poll of every meter.
    std::vector<std::unique_ptr<TickPlot>> plots;
    const int columns = 4;
    const int rows = (meterCount + columns - 1) / columns;
    for (int m = 0; m < meterCount; ++m) {
        auto plot = std::make_unique<TickPlot>(sessions[size_t(m)]->series());
        plot->setSamplingInterval(1);
        plot->setGeometry((m % columns) * 1600 / columns, (m / columns) * 900 / rows, 1600 / columns, 900 / rows);
        plot->show();
        plots.push_back(std::move(plot));
    }
    QCoreApplication::processEvents();
    for (auto &plot : plots)
        plot->tickAndPaint();
    std::vector<double> ticks;
    for (int i = 0; i < 15; ++i) {
        for (int m = 0; m + 1 < meterCount; ++m)
            sessions[size_t(m)]->series().appendPoll(start + uint32_t(samples + i), meterPoll(m, samples + i).values);
        QElapsedTimer timer;
        timer.start();
        for (auto &plot : plots)
            plot->tickAndPaint();
        ticks.push_back(timer.nsecsElapsed() / 1e6);
    }
    figures.tickMs = medianOf(ticks);
    printf("refresh tick of %d windows, %dx%d each: median %.1f ms, slowest %.1f ms\n", meterCount, 1600 / columns,
           900 / rows, figures.tickMs, *std::max_element(ticks.begin(), ticks.end()));
    return figures;
}
