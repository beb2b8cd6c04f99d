#include "analysis/powerreport.h"

#include "analysis/localclock.h"
#include "analysis/spanstatistics.h"
#include "data/samplegaps.h"

#include <QDateTime>

#include <memory>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kQualityWindow = 600;
constexpr int kDemandWindow = 900;
constexpr int kFrequencyWindow = 10;
constexpr int kFR = 17;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The upper bounds of the duration columns of the event table, ms.
const qint64 kDurationEnds[kDurationColumns - 1] = {200, 500, 1000, 5000, 60000};

// Values come from single-precision floats: 50.2 Hz read from a file is a
// hair above 50.2. Comparisons allow for that, and for nothing more.
constexpr double kTolerance = 1e-6;

bool below(double v, double bound)
{
    return v < bound - kTolerance * std::fabs(bound);
}

bool above(double v, double bound)
{
    return v > bound + kTolerance * std::fabs(bound);
}

bool inside(double v, double low, double high)
{
    return !below(v, low) && !above(v, high);
}

// How many windows of the local clock the span start..end touches; a clock
// set forward skips some, one set back repeats them.
int windowsTouched(qint64 start, qint64 end, int length)
{
    const int a = utcOffset(start);
    const int b = utcOffset(end);
    const qint64 n = floorDiv(end + b, length) - floorDiv(start + a, length) + 1 - (b - a) / length;
    return int(qMax<qint64>(n, 0));
}

// Sums of one 10-minute window for each quantity judged, in the order of
// kQualityColumns: the squares of the values, how many values there were,
// and the time they stand for.
struct QualitySums {
    qint64 start = 0;
    qint64 end = 0;
    int samples = 0;
    int count[kQualityRowCount] = {};
    double weight[kQualityRowCount] = {};
    double sums[kQualityRowCount] = {};

    void add(const QualitySums &o)
    {
        samples += o.samples;
        for (int i = 0; i < kQualityRowCount; ++i) {
            count[i] += o.count[i];
            weight[i] += o.weight[i];
            sums[i] += o.sums[i];
        }
    }
};

struct DemandSums {
    qint64 start = 0;
    qint64 end = 0;
    EnergySums sums;

    void add(const DemandSums &o) { sums.add(o.sums); }
};

// The 15-minute windows of the demand, filled a step at a time
// (splitStep).
struct DemandWindows {
    ClockWindow window;
    DemandSums sums;
    QVector<DemandSums> done;

    bool contains(qint64 t) const { return window.contains(t); }
    qint64 end() const { return window.end; }
    void startAt(qint64 t)
    {
        finish();
        window = clockWindowAt(t, kDemandWindow);
        sums = DemandSums{window.start, window.end, {}};
    }
    void add(const EnergySums &e) { sums.sums.add(e); }
    void finish()
    {
        if (window.end > window.start)
            done.append(sums);
        window = ClockWindow{};
    }
};

struct FrequencySums {
    qint64 start = 0;
    int count = 0;
    double weight = 0;
    double sum = 0;

    void add(const FrequencySums &o)
    {
        count += o.count;
        weight += o.weight;
        sum += o.sum;
    }
};

// The local days from the one of start to last, each cut to start..end; a
// day of no length (a span that ends at midnight with a sample there) is
// none. No days without a last one.
QVector<DayFigures> spanDays(qint64 start, qint64 end, const QDate &last)
{
    QVector<DayFigures> days;
    const QDate first = QDateTime::fromSecsSinceEpoch(start).date();
    if (!last.isValid() || last < first)
        return days;
    days.resize(int(first.daysTo(last)) + 1);
    for (int i = 0; i < days.size(); ++i) {
        DayFigures &day = days[i];
        day.date = first.addDays(i);
        day.start = qMax<qint64>(start, QDateTime(day.date, QTime(0, 0)).toSecsSinceEpoch());
        day.end = qMin<qint64>(end, QDateTime(day.date.addDays(1), QTime(0, 0)).toSecsSinceEpoch());
    }
    if (days.size() > 1 && days.last().end <= days.last().start)
        days.removeLast();
    return days;
}

// Windows are closed in the order the samples come; a time that goes back
// opens a window again. Sorting joins such repeats into one.
template <typename T>
void joinRepeats(QVector<T> &windows)
{
    std::stable_sort(windows.begin(), windows.end(), [](const T &a, const T &b) { return a.start < b.start; });
    int kept = 0;
    for (int i = 0; i < windows.size(); ++i) {
        if (kept > 0 && windows[kept - 1].start == windows[i].start)
            windows[kept - 1].add(windows[i]);
        else
            windows[kept++] = windows[i];
    }
    windows.resize(kept);
}

// Whether a window holds at least half the samples its length implies: its
// samples, each standing for the typical step around it, stand for half of
// it.
bool holdsHalf(double weight, qint64 length)
{
    return weight > 0 && 2.0 * weight >= double(length);
}

struct EventRule {
    VoltageEvent::Kind kind;
    // Fractions of the nominal voltage.
    double begin;
    double back;
    bool low;
};

const EventRule kEventRules[kEventKindCount] = {
    {VoltageEvent::Dip, 0.90, 0.92, true},
    {VoltageEvent::Swell, 1.10, 1.08, false},
    {VoltageEvent::Interruption, 0.10, 0.12, true},
};

// Where the voltage events lie, for flagging the windows they overlap.
class EventSpans
{
public:
    // events in the order of their starts.
    explicit EventSpans(const QVector<VoltageEvent> &events)
    {
        qint64 reach = std::numeric_limits<qint64>::min();
        for (const VoltageEvent &e : events) {
            // A recovered event lasts until the sample back; any other
            // until its last sample past the threshold, that one included.
            const qint64 end = qint64(e.start) + e.duration + (e.ending == VoltageEvent::Recovered ? 0 : 1);
            reach = qMax(reach, qMax(end, qint64(e.start) + 1));
            starts.append(e.start);
            reaches.append(reach);
        }
    }
    // Whether an event overlaps [from, to).
    bool overlaps(qint64 from, qint64 to) const
    {
        const auto before = std::lower_bound(starts.begin(), starts.end(), to) - starts.begin();
        return before > 0 && reaches[int(before) - 1] > from;
    }

private:
    QVector<qint64> starts;
    // The furthest end of the events up to each.
    QVector<qint64> reaches;
};

struct OpenEvent {
    bool open = false;
    uint32_t start = 0;
    uint32_t last = 0;
    float extreme = 0;
};

// One pass over the samples in time order as the file holds them.
class ReportPass
{
public:
    ReportPass(PowerReport &report, const LocalSteps &steps)
        : r(report)
        , steps(steps)
        , tenSecondFrequency(report.options.standard == PowerStandard::En50160 && report.medianStep > 0
                             && report.medianStep <= kFrequencyWindow)
    {
        if (report.tariffProblem.isEmpty())
            tariff = std::make_unique<TariffSplit>(report.options.tariff);
        // The bounds as values are compared with them, once for all samples.
        for (int k = 0; k < kEventKindCount; ++k) {
            const EventRule &rule = kEventRules[k];
            const double begin = rule.begin * report.options.nominalVoltage;
            const double back = rule.back * report.options.nominalVoltage;
            const double slack = rule.low ? -kTolerance : kTolerance;
            bounds[k] = {begin + slack * begin, back + slack * back};
        }
    }

    // The record at position pos of the span.
    void add(const SampleRecord &s, size_t pos);
    void finish();

private:
    void integrate(const PowerStep &step, const EnergySums &whole);
    void quality(qint64 t, const SampleRecord &s, double typicalStep);
    void voltageEvents(uint32_t t, const SampleRecord &s);
    void closeEvents(VoltageEvent::Ending ending);
    void finishQuality();
    void finishDemand();
    void finishTariff();

    PowerReport &r;
    const LocalSteps &steps;
    struct EventBounds {
        double begin;
        double back;
    };
    EventBounds bounds[kEventKindCount];
    const bool tenSecondFrequency;

    bool havePrevious = false;
    uint32_t previousTime = 0;
    uint32_t latestTime = 0;
    EnergyIntegrator energy;

    ClockWindow qualityWindow;
    QualitySums qualitySums;
    QVector<QualitySums> qualityWindows;
    FrequencySums frequencySums{std::numeric_limits<qint64>::min(), 0, 0, 0};
    QVector<FrequencySums> frequencyWindows;
    QVector<double> frequencySamples;
    QVector<qint64> frequencySampleTimes;

    DemandWindows demand;
    std::unique_ptr<TariffSplit> tariff;

    OpenEvent open[3][kEventKindCount];
};

void ReportPass::add(const SampleRecord &s, size_t pos)
{
    if (!s.hasTime()) {
        ++r.withoutTime;
        return;
    }
    const qint64 t = s.time;
    if (t < r.start || t > r.end)
        return;
    ++r.samples;
    const bool gap = steps.isGap(pos);
    if (havePrevious) {
        const qint64 d = t - qint64(previousTime);
        if (d < 0)
            ++r.backSteps;
        if (d < 0 || gap)
            closeEvents(VoltageEvent::CutByBreak);
        if (gap) {
            ++r.gaps;
            r.longestGap = qMax(r.longestGap, uint32_t(d));
        }
    }
    PowerStep step;
    EnergySums stepEnergy;
    if (energy.add(t, PowerReading::of(s), gap, &step, &stepEnergy))
        integrate(step, stepEnergy);
    quality(t, s, steps.typicalAround(pos));
    voltageEvents(s.time, s);
    havePrevious = true;
    previousTime = s.time;
    latestTime = qMax(latestTime, s.time);
}

// The step split at the boundaries of the 15-minute windows and of the
// time-of-use periods it crosses.
void ReportPass::integrate(const PowerStep &step, const EnergySums &whole)
{
    if (tariff)
        tariff->add(step, whole);
    splitStep(step, whole, demand);
}

void ReportPass::quality(qint64 t, const SampleRecord &s, double typicalStep)
{
    if (!qualityWindow.contains(t)) {
        if (qualitySums.samples > 0)
            qualityWindows.append(qualitySums);
        qualityWindow = clockWindowAt(t, kQualityWindow);
        qualitySums = QualitySums{};
        qualitySums.start = qualityWindow.start;
        qualitySums.end = qualityWindow.end;
    }
    ++qualitySums.samples;
    for (int i = 0; i < kQualityRowCount; ++i) {
        const double v = s.value(kQualityColumns[i]);
        if (std::isnan(v))
            continue;
        ++qualitySums.count[i];
        qualitySums.weight[i] += typicalStep;
        qualitySums.sums[i] += v * v;
    }

    const double frequency = s.value(kFR);
    if (r.options.standard != PowerStandard::En50160 || std::isnan(frequency))
        return;
    if (!tenSecondFrequency) {
        frequencySamples.append(frequency);
        frequencySampleTimes.append(t);
        return;
    }
    const qint64 start = floorDiv(t + qualityWindow.offset, kFrequencyWindow) * kFrequencyWindow - qualityWindow.offset;
    if (start != frequencySums.start) {
        if (frequencySums.count > 0)
            frequencyWindows.append(frequencySums);
        frequencySums = FrequencySums{start, 0, 0, 0};
    }
    ++frequencySums.count;
    frequencySums.weight += typicalStep;
    frequencySums.sum += frequency;
}

void ReportPass::voltageEvents(uint32_t t, const SampleRecord &s)
{
    for (int p = 0; p < 3; ++p) {
        const double v = s.values[p];
        if (!std::isfinite(v))
            continue;
        for (int k = 0; k < kEventKindCount; ++k) {
            const EventRule &rule = kEventRules[k];
            OpenEvent &e = open[p][k];
            const EventBounds &b = bounds[k];
            if (!e.open) {
                if (rule.low ? v < b.begin : v > b.begin)
                    e = OpenEvent{true, t, t, s.values[p]};
                continue;
            }
            if (rule.low ? v >= b.back : v <= b.back) {
                r.events.append(VoltageEvent{rule.kind, p, e.start, t - e.start, e.extreme, VoltageEvent::Recovered});
                e.open = false;
                continue;
            }
            e.last = t;
            e.extreme = rule.low ? qMin(e.extreme, s.values[p]) : qMax(e.extreme, s.values[p]);
        }
    }
}

void ReportPass::closeEvents(VoltageEvent::Ending ending)
{
    for (int p = 0; p < 3; ++p) {
        for (int k = 0; k < kEventKindCount; ++k) {
            OpenEvent &e = open[p][k];
            if (!e.open)
                continue;
            r.events.append(VoltageEvent{kEventRules[k].kind, p, e.start, e.last - e.start, e.extreme, ending});
            e.open = false;
        }
    }
}

void ReportPass::finish()
{
    closeEvents(VoltageEvent::OpenAtEnd);
    std::stable_sort(r.events.begin(), r.events.end(),
                     [](const VoltageEvent &a, const VoltageEvent &b) { return a.start < b.start; });
    for (const VoltageEvent &e : r.events)
        ++r.eventCounts[e.kind];
    r.eventTable = classifyEvents(r.events, r.options.nominalVoltage, r.medianStep);
    finishQuality();
    finishDemand();
    finishTariff();
}

void ReportPass::finishQuality()
{
    if (qualitySums.samples > 0)
        qualityWindows.append(qualitySums);
    joinRepeats(qualityWindows);

    const EventSpans events(r.events);
    QVector<double> values[kQualityRowCount];
    QVector<double> flagged[kQualityRowCount];
    for (const QualitySums &w : qualityWindows) {
        VoltagePoint point;
        point.start = w.start;
        bool allVolts = true;
        QVector<double> *kept = events.overlaps(w.start, w.end) ? flagged : values;
        for (int i = 0; i < kQualityRowCount; ++i) {
            const bool valid = holdsHalf(w.weight[i], w.end - w.start);
            const double rms = valid ? std::sqrt(w.sums[i] / w.count[i]) : 0;
            if (i < 3) {
                point.volts[i] = rms;
                allVolts = allVolts && valid;
            }
            if (valid)
                kept[i].append(rms);
        }
        if (allVolts && std::isfinite(point.volts[0] + point.volts[1] + point.volts[2]))
            r.chart.append(point);
    }
    const int touched = windowsTouched(r.start, r.end, kQualityWindow);

    QualityRow::Basis frequencyBasis = QualityRow::TenMinutes;
    int frequencyTouched = touched;
    if (r.options.standard == PowerStandard::En50160 && r.medianStep > 0) {
        values[3].clear();
        flagged[3].clear();
        if (tenSecondFrequency) {
            if (frequencySums.count > 0)
                frequencyWindows.append(frequencySums);
            joinRepeats(frequencyWindows);
            for (const FrequencySums &w : frequencyWindows) {
                if (holdsHalf(w.weight, kFrequencyWindow))
                    (events.overlaps(w.start, w.start + kFrequencyWindow) ? flagged : values)[3].append(w.sum / w.count);
            }
            frequencyBasis = QualityRow::TenSeconds;
            frequencyTouched = windowsTouched(r.start, r.end, kFrequencyWindow);
        } else {
            for (int i = 0; i < frequencySamples.size(); ++i) {
                const qint64 t = frequencySampleTimes[i];
                (events.overlaps(t, t + 1) ? flagged : values)[3].append(frequencySamples[i]);
            }
            frequencyBasis = QualityRow::Samples;
            frequencyTouched = frequencySamples.size();
        }
    }

    bool failed = false;
    bool unknown = false;
    for (int i = 0; i < kQualityRowCount; ++i) {
        QualityRow row = judgeValues(values[i], qualityLimits(r.options, kQualityColumns[i]), flagged[i]);
        row.column = kQualityColumns[i];
        const bool frequency = row.column == kFR;
        row.basis = frequency ? frequencyBasis : QualityRow::TenMinutes;
        row.invalid = qMax(0, (frequency ? frequencyTouched : touched) - row.valid);
        failed = failed || row.verdict == Verdict::Fail;
        unknown = unknown || row.verdict == Verdict::Unknown;
        r.quality.append(row);
    }
    r.overall = failed ? Verdict::Fail : unknown ? Verdict::Unknown : Verdict::Pass;
}

void ReportPass::finishDemand()
{
    demand.finish();
    QVector<DemandSums> &demandWindows = demand.done;
    joinRepeats(demandWindows);

    r.days = spanDays(r.start, r.end, r.samples > 0 ? QDateTime::fromSecsSinceEpoch(latestTime).date() : QDate());

    auto raise = [](DemandPeak &peak, const DemandSums &w) {
        const double mean = w.sums.net() / w.sums.covered;
        if (!peak.found || mean > peak.watts)
            peak = DemandPeak{true, mean, w.start};
    };
    int day = 0;
    for (const DemandSums &w : demandWindows) {
        const double once = qMin(w.sums.covered, double(qMin<qint64>(w.end, r.end) - qMax<qint64>(w.start, r.start)));
        r.total.add(w.sums);
        r.covered += once;
        while (day + 1 < r.days.size() && w.start >= r.days[day + 1].start)
            ++day;
        if (!r.days.isEmpty()) {
            r.days[day].sums.add(w.sums);
            r.days[day].covered += once;
        }
        if (2 * w.sums.covered < double(w.end - w.start))
            continue;
        raise(r.peak, w);
        if (!r.days.isEmpty())
            raise(r.days[day].peak, w);
    }
}

void ReportPass::finishTariff()
{
    if (!tariff)
        return;
    QVector<TariffSlice> slices = tariff->finish();
    std::stable_sort(slices.begin(), slices.end(),
                     [](const TariffSlice &a, const TariffSlice &b) { return a.from < b.from; });
    int day = 0;
    for (const TariffSlice &s : slices) {
        r.tariffImported[s.type] += s.sums.imported;
        while (day + 1 < r.days.size() && s.from >= r.days[day + 1].start)
            ++day;
        if (!r.days.isEmpty())
            r.days[day].tariffImported[s.type] += s.sums.imported;
    }
}

} // namespace

const int kQualityColumns[kQualityRowCount] = {1, 2, 3, kFR, 18, 19, 20, 30};

QString reportOptionsProblem(const ReportOptions &options)
{
    if (!(options.nominalVoltage > 0) || !std::isfinite(options.nominalVoltage))
        return QStringLiteral("标称电压必须是大于 0 的数值！");
    if (options.nominalFrequency != 50 && options.nominalFrequency != 60)
        return QStringLiteral("标称频率只能是 50 Hz 或 60 Hz！");
    return QString();
}

QualityLimits qualityLimits(const ReportOptions &options, int column)
{
    const double u = options.nominalVoltage;
    const double f = options.nominalFrequency;
    const bool en = options.standard == PowerStandard::En50160;
    const bool voltage = column >= 1 && column <= 3;
    if (voltage && en)
        return {0.90 * u, 1.10 * u, 950, 0.85 * u, 1.10 * u};
    if (voltage)
        return {0.93 * u, 1.07 * u, 1000, -kInfinity, kInfinity};
    if (column == kFR && en)
        return {0.99 * f, 1.01 * f, 995, 0.94 * f, 1.04 * f};
    if (column == kFR)
        return {f - 0.2, f + 0.2, 1000, -kInfinity, kInfinity};
    if (column == 30)
        return {-kInfinity, 2.0, 950, -kInfinity, en ? kInfinity : 4.0};
    return {-kInfinity, en ? 8.0 : 5.0, 950, -kInfinity, kInfinity};
}

QualityRow judgeValues(QVector<double> values, const QualityLimits &limits, QVector<double> flagged)
{
    QualityRow row;
    row.limits = limits;
    // A window with a value the meter could not give (nan, inf) is not a
    // valid one.
    for (QVector<double> *v : {&values, &flagged})
        v->erase(std::remove_if(v->begin(), v->end(), [](double x) { return !std::isfinite(x); }), v->end());
    row.flagged = flagged.size();
    row.valid = values.size() + row.flagged;
    if (row.valid == 0)
        return row;
    row.minimum = kInfinity;
    row.maximum = -kInfinity;
    double sum = 0;
    for (const QVector<double> *v : {&values, &flagged}) {
        for (double x : *v) {
            row.minimum = qMin(row.minimum, x);
            row.maximum = qMax(row.maximum, x);
            sum += x;
        }
    }
    row.mean = sum / row.valid;
    if (values.isEmpty())
        return row;
    std::sort(values.begin(), values.end());
    row.p95 = values[int((qint64(values.size()) * 95 + 99) / 100) - 1];
    for (double v : values) {
        if (inside(v, limits.low, limits.high))
            ++row.within;
        if (!inside(v, limits.allLow, limits.allHigh))
            ++row.beyond;
    }
    const bool share = qint64(row.within) * 1000 >= qint64(limits.permille) * values.size();
    row.verdict = share && row.beyond == 0 ? Verdict::Pass : Verdict::Fail;
    return row;
}

int dipRow(double volts, double nominal)
{
    const double bounds[kDipRows - 1] = {0.80, 0.70, 0.40, 0.05};
    for (int row = 0; row < kDipRows - 1; ++row) {
        if (!below(volts, bounds[row] * nominal))
            return row;
    }
    return kDipRows - 1;
}

int swellRow(double volts, double nominal)
{
    return below(volts, 1.20 * nominal) ? 0 : 1;
}

int durationColumn(qint64 milliseconds)
{
    if (milliseconds < 10)
        return -1;
    int column = 0;
    while (column < kDurationColumns - 1 && milliseconds > kDurationEnds[column])
        ++column;
    return column;
}

qint64 durationColumnEnd(int column)
{
    return column >= 0 && column < kDurationColumns - 1 ? kDurationEnds[column] : -1;
}

EventTable classifyEvents(const QVector<VoltageEvent> &events, double nominal, double samplingInterval)
{
    EventTable table;
    const qint64 shortest = qint64(std::llround(samplingInterval * 1000));
    for (int c = 0; c < kDurationColumns; ++c)
        table.measurable[c] = durationColumnEnd(c) < 0 || durationColumnEnd(c) >= shortest;
    for (VoltageEvent::Kind kind : {VoltageEvent::Dip, VoltageEvent::Swell}) {
        bool open = false;
        qint64 start = 0;
        qint64 end = 0;
        float extreme = 0;
        const auto count = [&] {
            const qint64 ms = qMax((end - start) * 1000, shortest);
            const int column = durationColumn(ms);
            if (!open || column < 0)
                return;
            if (kind == VoltageEvent::Dip)
                ++table.dips[dipRow(extreme, nominal)][column];
            else
                ++table.swells[swellRow(extreme, nominal)][column];
        };
        // Events come in the order of their starts.
        for (const VoltageEvent &e : events) {
            if (e.kind != kind)
                continue;
            const qint64 eEnd = qint64(e.start) + e.duration;
            if (open && e.start <= end) {
                end = qMax(end, eEnd);
                extreme = kind == VoltageEvent::Dip ? qMin(extreme, e.extreme) : qMax(extreme, e.extreme);
                continue;
            }
            count();
            open = true;
            start = e.start;
            end = eEnd;
            extreme = e.extreme;
        }
        count();
    }
    return table;
}

double PowerReport::coverage() const
{
    if (end <= start)
        return -1;
    return covered / double(end - start);
}

PowerReport computePowerReport(const SampleRecord *records, int first, int last, uint32_t start, uint32_t end,
                               const ReportOptions &options, const std::function<void(int percent)> &progress)
{
    PowerReport report;
    report.options = options;
    report.start = start;
    report.end = end;
    const int n = qMax(0, last - first + 1);
    // The samples of the span are those with a time inside it.
    const auto timeAt = [records, first, start, end](size_t i) {
        const uint32_t t = records[first + int(i)].time;
        return t >= start && t <= end ? t : SampleRecord::kInvalidTime;
    };
    const LocalSteps steps(size_t(n), timeAt);
    report.medianStep = steps.medianStep();
    report.tariffProblem = tariffTableProblem(options.tariff);

    ReportPass pass(report, steps);
    SpanProgress progressed(n, progress);
    for (int pos = 0; pos < n; ++pos) {
        pass.add(records[first + pos], size_t(pos));
        progressed.done(pos);
    }
    pass.finish();
    return report;
}
