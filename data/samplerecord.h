#pragma once

#include "data/paramtable.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

// One sample: cell 0 is the time, cell k (1..31) the value of column k. The
// same 128-byte layout is the poll buffer of the meter links, where cell 0 is
// never touched.
struct SampleRecord {
    // Seconds since 1970-01-01 00:00:00 UTC; kInvalidTime marks a time text
    // in a data file that did not parse.
    uint32_t time;
    // A value that is not a number (kMissingValue, or a NaN a meter sent)
    // is no value: a cell of a record cut short, a number that did not
    // read. Every view and sum leaves it out.
    float values[kValueCount];

    // As a time it would read as 2106-02-07 06:28:15 UTC; no record that
    // has it is placed in time.
    static constexpr uint32_t kInvalidTime = 0xFFFFFFFFu;
    static constexpr float kMissingValue = std::numeric_limits<float>::quiet_NaN();

    static bool isValidTime(uint32_t t) { return t != kInvalidTime; }
    static bool isMissing(float v) { return std::isnan(v); }

    bool hasTime() const { return isValidTime(time); }
    float value(int column) const { return values[column - 1]; }
    void setValue(int column, float v) { values[column - 1] = v; }
};

static_assert(sizeof(float) == 4, "values are IEEE 754 single precision");
static_assert(std::is_standard_layout<SampleRecord>::value, "SampleRecord must keep a plain layout");
static_assert(std::is_trivially_copyable<SampleRecord>::value, "SampleRecord must be copyable as bytes");
static_assert(sizeof(SampleRecord) == 128, "SampleRecord is 32 cells of 4 bytes");
static_assert(offsetof(SampleRecord, time) == 0, "the time is cell 0");
static_assert(offsetof(SampleRecord, values) == 4, "value k is cell k");
