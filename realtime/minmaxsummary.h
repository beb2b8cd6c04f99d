#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// The lowest and the highest value of any run of a long float series, found
// from summaries of aligned groups of samples instead of from every sample:
// a run of a million samples costs a few hundred reads. A value that is not
// a number is never an extreme unless the whole run is; among equal values
// the earliest wins, so that the answer is the one a plain scan gives.

// Where the lowest and the highest value of a run are (indexes).
struct RunExtremes {
    size_t low = 0;
    size_t high = 0;
};

// True when a should replace b as the lowest value so far.
inline bool lowerThan(float a, float b)
{
    return !std::isnan(a) && (std::isnan(b) || a < b);
}

inline bool higherThan(float a, float b)
{
    return !std::isnan(a) && (std::isnan(b) || a > b);
}

// The extremes of a group of samples, as offsets within its block.
struct GroupExtremes {
    float low;
    float high;
    uint16_t lowAt;
    uint16_t highAt;

    void start(float v, uint16_t at)
    {
        low = high = v;
        lowAt = highAt = at;
    }
    void add(float v, uint16_t at)
    {
        if (lowerThan(v, low)) {
            low = v;
            lowAt = at;
        }
        if (higherThan(v, high)) {
            high = v;
            highAt = at;
        }
    }
};

// Group sizes of the two summary levels; a block of the series holds a
// whole number of coarse groups.
constexpr size_t kFineGroup = 32;
constexpr size_t kCoarseGroup = 1024;

// Extremes of samples [from, to), from < to. valueAt(i) reads sample i;
// fine(i) and coarse(i) give the summary of the group that starts at sample
// i (a multiple of its group size) with offsets relative to blockStart(i).
template <typename ValueAt, typename Fine, typename Coarse, typename BlockStart>
RunExtremes runExtremes(size_t from, size_t to, ValueAt valueAt, Fine fine, Coarse coarse, BlockStart blockStart)
{
    RunExtremes e{from, from};
    float low = valueAt(from);
    float high = low;
    const auto consider = [&](float lv, size_t li, float hv, size_t hi) {
        if (lowerThan(lv, low)) {
            low = lv;
            e.low = li;
        }
        if (higherThan(hv, high)) {
            high = hv;
            e.high = hi;
        }
    };
    size_t i = from + 1;
    while (i < to) {
        if (i % kCoarseGroup == 0 && i + kCoarseGroup <= to) {
            const GroupExtremes &g = coarse(i);
            const size_t base = blockStart(i);
            consider(g.low, base + g.lowAt, g.high, base + g.highAt);
            i += kCoarseGroup;
        } else if (i % kFineGroup == 0 && i + kFineGroup <= to) {
            const GroupExtremes &g = fine(i);
            const size_t base = blockStart(i);
            consider(g.low, base + g.lowAt, g.high, base + g.highAt);
            i += kFineGroup;
        } else {
            const float v = valueAt(i);
            consider(v, i, v, i);
            ++i;
        }
    }
    return e;
}
