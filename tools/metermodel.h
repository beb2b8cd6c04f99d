#pragma once

// The simulated three-phase supply: what the meter would measure at a given
// moment. Kept apart from the Modbus serving so that the same values can be
// served live or written to a data file.

#include "data/paramtable.h"

#include <cstdint>

struct MeterReading {
    // column[k] is the value of ParamTable column k (1..31); column[0] unused.
    double column[kColumnCount];
    // Per-phase quantities the meter also holds in block A, in the floats
    // the program skips: active, reactive, apparent power and power factor
    // of phases A, B and C.
    double phaseP[3];
    double phaseQ[3];
    double phaseS[3];
    double phaseCos[3];
};

// seconds: time since the supply was switched on, which drives the slow
// drift and the load cycle; sample: the sample number, which seeds the
// measurement noise (the same pair always gives the same reading); unit:
// the meter among several on one supply, which share its voltages but each
// measure a feeder of their own (unit 1 the reference load, others between
// 0.4 and 1.8 times it, their cycles shifted).
MeterReading meterReading(double seconds, uint64_t sample, int unit = 1);

constexpr int kBlockARegisters = 58;
constexpr int kBlockBRegisters = 28;

// The input registers 30001..30058 and 35401..35428 holding the reading:
// each float big-endian, high register first.
void fillBlockA(const MeterReading &reading, uint16_t *registers);
void fillBlockB(const MeterReading &reading, uint16_t *registers);
