#include "data/energy.h"

#include "data/paramtable.h"
#include "data/samplegaps.h"

#include <cmath>

namespace {

constexpr int kTP = 13;
constexpr int kTQ = 14;
constexpr int kTS = 15;

double between(double a, double b, double share)
{
    return a + (b - a) * share;
}

} // namespace

PowerReading PowerReading::of(const SampleRecord &record)
{
    return PowerReading{record.value(kTP), record.value(kTQ), record.value(kTS)};
}

bool PowerReading::complete() const
{
    return std::isfinite(active) && std::isfinite(reactive) && std::isfinite(apparent);
}

void EnergySums::add(const EnergySums &o)
{
    covered += o.covered;
    imported += o.imported;
    exported += o.exported;
    reactive += o.reactive;
    apparent += o.apparent;
}

PowerReading PowerStep::at(qint64 t) const
{
    if (t == to)
        return end;
    const double share = double(t - from) / double(to - from);
    return PowerReading{between(begin.active, end.active, share), between(begin.reactive, end.reactive, share),
                        between(begin.apparent, end.apparent, share)};
}

PowerStep PowerStep::part(qint64 t0, qint64 t1) const
{
    if (t0 == from && t1 == to)
        return *this;
    return PowerStep{t0, t1, at(t0), at(t1)};
}

EnergySums PowerStep::energy() const
{
    EnergySums e;
    const double dt = double(to - from);
    e.covered = dt;
    e.reactive = (begin.reactive + end.reactive) / 2 * dt;
    e.apparent = (begin.apparent + end.apparent) / 2 * dt;
    const double p0 = begin.active;
    const double p1 = end.active;
    if ((p0 >= 0) == (p1 >= 0)) {
        const double area = (p0 + p1) / 2 * dt;
        (area >= 0 ? e.imported : e.exported) += std::fabs(area);
        return e;
    }
    // The line crosses zero at share p0 / (p0 - p1) of the step: a
    // triangle on each side.
    const double cross = p0 / (p0 - p1) * dt;
    const double before = p0 / 2 * cross;
    const double after = p1 / 2 * (dt - cross);
    e.imported = p0 >= 0 ? before : after;
    e.exported = -(p0 >= 0 ? after : before);
    return e;
}

bool EnergyIntegrator::add(qint64 t, const PowerReading &powers, bool gapBefore, PowerStep *step, EnergySums *energy)
{
    const bool counts = m_havePrevious && !gapBefore && t > m_previousTime && m_previous.complete() && powers.complete();
    if (counts) {
        const PowerStep s{m_previousTime, t, m_previous, powers};
        const EnergySums e = s.energy();
        m_total.add(e);
        if (step)
            *step = s;
        if (energy)
            *energy = e;
    }
    m_havePrevious = true;
    m_previousTime = t;
    m_previous = powers;
    return counts;
}

EnergySums integrateEnergy(const SampleRecord *records, size_t count)
{
    const LocalSteps steps(count, [records](size_t i) { return records[i].time; });
    EnergyIntegrator energy;
    for (size_t i = 0; i < count; ++i) {
        if (records[i].hasTime())
            energy.add(records[i].time, PowerReading::of(records[i]), steps.isGap(i));
    }
    return energy.total();
}
