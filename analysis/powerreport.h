#pragma once

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

    bool operator==(const ReportOptions &o) const
    {
        return standard == o.standard && nominalVoltage == o.nominalVoltage && nominalFrequency == o.nominalFrequency;
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
// 10-second means, or the samples when they are further apart). A window is
// valid for a quantity when the samples with a value of it stand for at
// least half of the window, each for the typical step around it (the gap
// rule's): it holds at least half the samples its length implies.
struct QualityRow {
    enum Basis { TenMinutes, TenSeconds, Samples };

    int column = 0;
    Basis basis = TenMinutes;
    int valid = 0;
    int invalid = 0;
    double minimum = 0;
    double maximum = 0;
    // Nearest rank: the smallest value that at least 95 % of the values
    // are at or below.
    double p95 = 0;
    int within = 0;
    QualityLimits limits{};
    Verdict verdict = Verdict::Unknown;

    bool hasData() const { return valid > 0; }
    // Share of the values within [low, high], 0..1.
    double passRate() const { return valid > 0 ? double(within) / valid : 0; }
};

// The eight quantities judged, in report order: UA, UB, UC, FR, ThdUa,
// ThdUb, ThdUc, UnbU.
constexpr int kQualityRowCount = 8;
extern const int kQualityColumns[kQualityRowCount];

QualityLimits qualityLimits(const ReportOptions &options, int column);
// The values' figures and verdict against limits; values that are not
// finite do not count.
QualityRow judgeValues(QVector<double> values, const QualityLimits &limits);

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
