#include "metermodel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Reproducible noise in [-1, 1] for one quantity of one sample.
double noise(uint64_t sample, unsigned channel)
{
    uint64_t z = sample * 0x9E3779B97F4A7C15ull + (channel + 1) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

double wave(double seconds, double period, double phase = 0.0)
{
    return std::sin(2.0 * kPi * seconds / period + phase);
}

// Largest deviation from the mean, in percent of the mean.
double unbalance(const double *v)
{
    const double mean = (v[0] + v[1] + v[2]) / 3.0;
    if (mean <= 0.0)
        return 0.0;
    double worst = 0.0;
    for (int i = 0; i < 3; ++i)
        worst = std::max(worst, std::fabs(v[i] - mean));
    return 100.0 * worst / mean;
}

void putFloat(uint16_t *registers, int offset, double value)
{
    const float f = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    registers[offset / 2] = static_cast<uint16_t>(bits >> 16);
    registers[offset / 2 + 1] = static_cast<uint16_t>(bits & 0xFFFF);
}

} // namespace

MeterReading meterReading(double seconds, uint64_t sample, int unit)
{
    MeterReading r{};
    double *c = r.column;
    // Each unit its own feeder: a load of its own and noise of its own.
    const int feeder = (unit - 1) & 0xFF;
    const double scale = 0.4 + 0.2 * ((3 * feeder + 3) % 8);
    const double shift = 0.9 * feeder;
    sample += uint64_t(feeder) << 40;

    // Phase voltages: 220..230 V, a slow drift of each phase and a little
    // measurement noise.
    double u[3];
    for (int i = 0; i < 3; ++i)
        u[i] = 225.0 + 3.0 * wave(seconds, 900.0, 2.1 * i) + 0.8 * wave(seconds, 131.0 + 17.0 * i)
            + 0.15 * noise(sample, i);
    c[1] = u[0];
    c[2] = u[1];
    c[3] = u[2];
    c[4] = (u[0] + u[1] + u[2]) / 3.0;

    // Line voltages of a supply with 120 degrees between phases:
    // |Ua - Ub| = sqrt(Ua^2 + Ub^2 + Ua*Ub), about sqrt(3) times the phases.
    const auto line = [](double a, double b) { return std::sqrt(a * a + b * b + a * b); };
    c[5] = line(u[0], u[1]);
    c[6] = line(u[1], u[2]);
    c[7] = line(u[2], u[0]);
    c[8] = (c[5] + c[6] + c[7]) / 3.0;

    // Currents follow a load cycle of ten minutes with a faster ripple;
    // phase C carries a little more load than the others.
    const double load = scale * (32.0 + 14.0 * wave(seconds, 600.0, shift) + 3.0 * wave(seconds, 47.0, shift));
    const double share[3] = {1.00, 0.94, 1.07};
    double cur[3];
    for (int i = 0; i < 3; ++i)
        cur[i] = std::max(0.5, load * share[i] + 0.2 * noise(sample, 3 + i));
    c[9] = cur[0];
    c[10] = cur[1];
    c[11] = cur[2];
    c[12] = (cur[0] + cur[1] + cur[2]) / 3.0;

    // Powers: per phase from U, I and a lagging power factor, totals as sums,
    // so that TS^2 = TP^2 + TQ^2 and COS = TP / TS hold.
    double tp = 0.0;
    double tq = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double pf = 0.90 + 0.05 * wave(seconds, 1200.0, 0.7 * i) + 0.005 * noise(sample, 6 + i);
        const double s = u[i] * cur[i];
        r.phaseS[i] = s;
        r.phaseP[i] = s * pf;
        r.phaseQ[i] = s * std::sqrt(1.0 - pf * pf);
        r.phaseCos[i] = pf;
        tp += r.phaseP[i];
        tq += r.phaseQ[i];
    }
    c[13] = tp;
    c[14] = tq;
    c[15] = std::sqrt(tp * tp + tq * tq);
    c[16] = tp / c[15];

    c[17] = 50.0 + 0.02 * wave(seconds, 97.0) + 0.004 * noise(sample, 9);

    // Distortion: a few percent on the voltages, more on the currents and
    // rising with the load.
    for (int i = 0; i < 3; ++i) {
        c[18 + i] = 2.2 + 0.6 * wave(seconds, 700.0, i) + 0.05 * noise(sample, 10 + i);
        c[21 + i] = 6.0 + 0.15 * load + 0.3 * noise(sample, 13 + i);
    }
    // Kbf: near the crest factor of a sine for the voltages, higher for the
    // distorted currents.
    for (int i = 0; i < 3; ++i) {
        c[24 + i] = std::sqrt(2.0) * (1.0 + c[18 + i] / 200.0);
        c[27 + i] = std::sqrt(2.0) * (1.0 + c[21 + i] / 60.0);
    }
    c[30] = unbalance(u);
    c[31] = unbalance(cur);
    return r;
}

void fillBlockA(const MeterReading &reading, uint16_t *registers)
{
    std::fill(registers, registers + kBlockARegisters, uint16_t(0));
    const double *c = reading.column;
    for (int k = 1; k <= 12; ++k)
        putFloat(registers, 4 * (k - 1), c[k]);
    for (int i = 0; i < 3; ++i) {
        putFloat(registers, 48 + 4 * i, reading.phaseP[i]);
        putFloat(registers, 64 + 4 * i, reading.phaseQ[i]);
        putFloat(registers, 80 + 4 * i, reading.phaseS[i]);
        putFloat(registers, 96 + 4 * i, reading.phaseCos[i]);
    }
    putFloat(registers, 60, c[13]);
    putFloat(registers, 76, c[14]);
    putFloat(registers, 92, c[15]);
    putFloat(registers, 108, c[16]);
    putFloat(registers, 112, c[17]);
}

void fillBlockB(const MeterReading &reading, uint16_t *registers)
{
    for (int j = 0; j < 14; ++j)
        putFloat(registers, 4 * j, reading.column[18 + j]);
}
