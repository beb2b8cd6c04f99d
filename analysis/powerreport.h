#pragma once

#include "analysis/tariff.h"
#include "data/energy.h"
#include "data/samplerecord.h"

#include <QDate>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>

// How much energy went through a feeder and whether its supply kept within
// the limits of a standard, worked out from the samples of a recorded file.
// Everything here is plain computation, so that each figure can be checked
// by hand against the samples.

enum class PowerStandard { GbT, En50160 };

struct ReportOptions {
    PowerStandard standard = PowerStandard::GbT;
    // Nominal phase voltage in V; the line value is sqrt(3) times it.
    double nominalVoltage = 220;
    // Hz, 50 or 60.
    int nominalFrequency = 50;
    // The time-of-use periods the imported energy is split by.
    TariffTable tariff = defaultTariffTable();

    bool operator==(const ReportOptions &o) const
    {
        return standard == o.standard && nominalVoltage == o.nominalVoltage && nominalFrequency == o.nominalFrequency
            && tariff == o.tariff;
    }
};

// Why no report can be made with these options; empty when one can.
QString reportOptionsProblem(const ReportOptions &options);


// The highest mean active power of a fixed 15-minute window of the local
// clock that samples cover at least half of.
struct DemandPeak {
    bool found = false;
    double watts = 0;
    qint64 start = 0;
};

// One local day of the span: [start, end) cut to the span. The days run
// from the span's start to the day of its last sample.
struct DayFigures {
    QDate date;
    qint64 start = 0;
    qint64 end = 0;
    EnergySums sums;
    // Imported active energy of each tariff type, W s.
    double tariffImported[kTariffTypeCount] = {};
    // Seconds of the day covered, each counted once.
    double covered = 0;
    DemandPeak peak;
};

enum class Verdict { Pass, Fail, Unknown };

// What the values of a quantity must keep to: at least permille / 1000 of
// them within [low, high], and all of them within [allLow, allHigh]. Bounds
// are inclusive; a value equal to a bound as written in a data file (a
// float next to it) counts as on it.
struct QualityLimits {
    double low;
    double high;
    int permille;
    double allLow;
    double allHigh;
};

// One quantity's 10-minute values (the frequency under EN 50160: its
// 10-second means, or the samples when they are further apart). A window's
// value is the root mean square of the values in it. A window is valid for a
// quantity when the samples with a value of it stand for at least half of
// the window, each for the typical step around it (the gap rule's): it holds
// at least half the samples its length implies. A valid window that a
// voltage event (a dip, a swell or an interruption of any phase) overlaps is
// flagged: it counts in the maximum, minimum and mean, and in nothing that
// judges (the 95 % value, the pass rate, N, N1 and N2).
struct QualityRow {
    enum Basis { TenMinutes, TenSeconds, Samples };

    int column = 0;
    Basis basis = TenMinutes;
    int valid = 0;
    int invalid = 0;
    int flagged = 0;
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
    // Nearest rank over the windows not flagged: the smallest value that
    // at least 95 % of them are at or below.
    double p95 = 0;
    // Of the windows not flagged: within [low, high], and outside [allLow,
    // allHigh] (EN 50160's N2).
    int within = 0;
    int beyond = 0;
    QualityLimits limits{};
    Verdict verdict = Verdict::Unknown;

    bool hasData() const { return valid > 0; }
    // The windows that judge: EN 50160's N.
    int counted() const { return valid - flagged; }
    // EN 50160's N1: outside [low, high].
    int outside() const { return counted() - within; }
    // Share of the windows that judge within [low, high], 0..1.
    double passRate() const { return counted() > 0 ? double(within) / counted() : 0; }
};

// The eight quantities judged, in report order: UA, UB, UC, FR, ThdUa,
// ThdUb, ThdUc, UnbU.
constexpr int kQualityRowCount = 8;
extern const int kQualityColumns[kQualityRowCount];

QualityLimits qualityLimits(const ReportOptions &options, int column);
// The values' figures and verdict against limits: values judge, flagged
// only count in the maximum, minimum and mean. Values that are not finite
// do not count.
QualityRow judgeValues(QVector<double> values, const QualityLimits &limits, QVector<double> flagged = {});

// A dip, swell or short interruption of one phase, from the first sample
// past the threshold to the first sample back.
struct VoltageEvent {
    enum Kind { Dip, Swell, Interruption };
    // How the event ended: back within the threshold, still open at the
    // span's end, or cut by a gap or a time going back (it lasted at least
    // its duration).
    enum Ending { Recovered, OpenAtEnd, CutByBreak };

    Kind kind = Dip;
    int phase = 0; // 0..2: UA, UB, UC
    uint32_t start = 0;
    uint32_t duration = 0;
    float extreme = 0;
    Ending ending = Recovered;
};
constexpr int kEventKindCount = 3;

// Dips (interruptions included) and swells counted in the classes of
// EN 50160: rows by residual voltage, columns by duration. The phases are
// taken together, as a polyphase analyser does: an event lasts from the
// first phase past the threshold to the last one back, at the lowest (for a
// swell the highest) voltage of any phase.
constexpr int kDipRows = 5;
constexpr int kSwellRows = 2;
constexpr int kDurationColumns = 6;
struct EventTable {
    int dips[kDipRows][kDurationColumns] = {};
    int swells[kSwellRows][kDurationColumns] = {};
    // Columns of durations shorter than the sampling interval: polled
    // values cannot measure them.
    bool measurable[kDurationColumns] = {};
};

// Residual voltage rows: 90 > u >= 80, 80 > u >= 70, 70 > u >= 40,
// 40 > u >= 5, 5 > u (percent of nominal); a value on an edge belongs to the
// row whose lower bound it is. Swell rows: 110 < u < 120, u >= 120.
int dipRow(double volts, double nominal);
int swellRow(double volts, double nominal);
// Duration columns in milliseconds: 10 <= t <= 200, 200 < t <= 500,
// 500 < t <= 1000, 1000 < t <= 5000, 5000 < t <= 60000, t > 60000; a value
// on an edge belongs to the column whose upper bound it is. -1 below 10 ms.
int durationColumn(qint64 milliseconds);
// The upper bound of a column in milliseconds; -1 for the last, which has
// none.
qint64 durationColumnEnd(int column);
// The events' table; an event that lasted less than the sampling interval
// as measured (one cut by a gap or the span's end) counts as lasting one
// interval, the shortest duration the samples can tell.
EventTable classifyEvents(const QVector<VoltageEvent> &events, double nominal, double samplingInterval);

// A valid 10-minute window's phase voltages, for the chart.
struct VoltagePoint {
    qint64 start = 0;
    double volts[3] = {};
};

struct PowerReport {
    ReportOptions options;
    uint32_t start = 0;
    uint32_t end = 0;

    int samples = 0;
    // Records of the span whose time line did not read: counted, and left
    // out of everything else.
    int withoutTime = 0;
    double medianStep = 0;
    // Time covered by samples and the energy over it (data/energy.h): the
    // trapezoid rule over consecutive samples, never across a gap. Where
    // times go back, the same time is covered twice: the energy of both
    // passes counts, the time once.
    EnergySums total;
    double covered = 0;
    int gaps = 0;
    uint32_t longestGap = 0;
    // Steps to an earlier time (a clock set back, the autumn change): no
    // time and no energy is counted across one; every sample still goes to
    // the windows its own time falls in.
    int backSteps = 0;

    DemandPeak peak;
    QVector<DayFigures> days;

    QVector<QualityRow> quality;
    Verdict overall = Verdict::Unknown;
    QVector<VoltagePoint> chart;

    QVector<VoltageEvent> events;
    int eventCounts[kEventKindCount] = {};
    EventTable eventTable;

    // Imported active energy of each tariff type over the span, W s (the
    // energy rule's steps cut at the periods' edges); nothing when the
    // table has a problem, which this then says.
    double tariffImported[kTariffTypeCount] = {};
    QString tariffProblem;

    // Share of the span covered by steps that are not gaps, 0..1; negative
    // for a span of no length.
    double coverage() const;
};

// The report over records first..last (a span found by decideSpan; records
// whose time lies outside start..end are left out, as a file whose times go
// back may have them, and so are records without a time). Gaps are judged
// by the gap rule of a file over the span's samples; a value that is no
// number is no value. progress receives the share done, 0..100, each time
// that figure changes.
PowerReport computePowerReport(const SampleRecord *records, int first, int last, uint32_t start, uint32_t end,
                               const ReportOptions &options, const std::function<void(int percent)> &progress = {});
