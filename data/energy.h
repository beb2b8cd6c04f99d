#pragma once

#include "data/samplerecord.h"

#include <QtGlobal>

#include <cstddef>

// The one energy rule, of the report and of the forwarded readings alike:
// energy accrues over each step between two consecutive samples by the
// trapezoid rule, the powers going linearly from one sample to the next.
// Active energy is kept as two totals that only grow, as a meter's own
// registers keep it: drawn from the supply (imported, active power above
// zero) and fed back into it (exported, below zero). Reactive and apparent
// energy are signed sums. No energy accrues over a gap (the gap rule of the
// series: the sampling interval for live readings, the file's rule for a
// recorded one), over a step where the time does not go forward, or over a
// step with a power that is no number at either end.

// Total active, reactive and apparent power at one moment: W, var, VA.
struct PowerReading {
    double active = 0;
    double reactive = 0;
    double apparent = 0;

    // TP, TQ and TS of a record.
    static PowerReading of(const SampleRecord &record);
    // Whether all three are numbers.
    bool complete() const;
};

// Energy over stretches of time: W s, var s, VA s.
struct EnergySums {
    double covered = 0; // s
    double imported = 0;
    double exported = 0;
    double reactive = 0;
    double apparent = 0;

    double net() const { return imported - exported; }
    void add(const EnergySums &o);
};

// A step over which energy accrues: the powers at its two ends.
struct PowerStep {
    qint64 from = 0;
    qint64 to = 0;
    PowerReading begin;
    PowerReading end;

    // The powers at time t of the step, on the line between its ends.
    PowerReading at(qint64 t) const;
    // Its part from t0 to t1 (from <= t0 <= t1 <= to).
    PowerStep part(qint64 t0, qint64 t1) const;
    // Where the active power changes sign within the step, the part above
    // zero is imported and the part below exported.
    EnergySums energy() const;
};

// Cuts a step at the ends of the stretches of time it crosses (the windows
// of a clock, the periods of a tariff) and hands each part's energy, its
// powers on the line between the step's ends, to its stretch. cut holds one
// stretch at a time: contains(t), end(), startAt(t) (moves to the stretch
// from t on) and add(energy).
template <typename Cut>
void splitStep(const PowerStep &step, const EnergySums &whole, Cut &cut)
{
    if (cut.contains(step.from) && step.to <= cut.end()) {
        cut.add(whole);
        return;
    }
    for (qint64 a = step.from; a < step.to;) {
        if (!cut.contains(a))
            cut.startAt(a);
        const qint64 b = cut.end() < step.to ? cut.end() : step.to;
        cut.add(step.part(a, b).energy());
        a = b;
    }
}

// The rule a sample at a time, for a live series (one per meter) or a pass
// over a file.
class EnergyIntegrator
{
public:
    // The sample at time t (seconds) with its powers; gapBefore: the step
    // to it from the sample before is a gap. Returns whether a step counted;
    // when it did, step and energy, when given, receive it and its energy.
    bool add(qint64 t, const PowerReading &powers, bool gapBefore, PowerStep *step = nullptr,
             EnergySums *energy = nullptr);
    // The next sample starts a new series (a poll that failed).
    void breakSeries() { m_havePrevious = false; }
    const EnergySums &total() const { return m_total; }

private:
    EnergySums m_total;
    bool m_havePrevious = false;
    qint64 m_previousTime = 0;
    PowerReading m_previous;
};

// The energy of a recorded series, its gaps by the file's gap rule; records
// without a time take no part.
EnergySums integrateEnergy(const SampleRecord *records, size_t count);

// kWh of W s.
inline double kilowattHours(double wattSeconds)
{
    return wattSeconds / 3.6e6;
}
