#pragma once

#include "data/paramtable.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

// One sample: cell 0 is the time, cell k (1..31) the value of column k. The
// same 128-byte layout is the poll buffer of the meter links, where cell 0 is
// never touched.
struct SampleRecord {
    // Seconds since 1970-01-01 00:00:00 UTC; kInvalidTime marks a time text
    // in a data file that did not parse.
    uint32_t time;
    float values[kValueCount];

    static constexpr uint32_t kInvalidTime = 0xFFFFFFFFu;

    float value(int column) const { return values[column - 1]; }
    void setValue(int column, float v) { values[column - 1] = v; }
};

static_assert(sizeof(float) == 4, "values are IEEE 754 single precision");
static_assert(std::is_standard_layout<SampleRecord>::value, "SampleRecord must keep a plain layout");
static_assert(std::is_trivially_copyable<SampleRecord>::value, "SampleRecord must be copyable as bytes");
static_assert(sizeof(SampleRecord) == 128, "SampleRecord is 32 cells of 4 bytes");
static_assert(offsetof(SampleRecord, time) == 0, "the time is cell 0");
static_assert(offsetof(SampleRecord, values) == 4, "value k is cell k");
