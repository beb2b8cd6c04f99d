#pragma once

#include <algorithm>
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

// True when a should replace b as the lowest value so far. Written without
// branches, so that loops over many series at once run in vector registers.
inline bool lowerThan(float a, float b)
{
    return (a < b) | (std::isnan(b) & !std::isnan(a));
}

inline bool higherThan(float a, float b)
{
    return (a > b) | (std::isnan(b) & !std::isnan(a));
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

// Group sizes of the two summary levels of the live series; a block of the
// series holds a whole number of coarse groups.
constexpr size_t kFineGroup = 32;
constexpr size_t kCoarseGroup = 1024;

// Walks samples [from, to) in order: coarse(i) for each whole coarse group
// (Coarse samples from i, a multiple of Coarse) inside the run, fine(i) for
// each whole fine group elsewhere, single(i) for the samples left over at
// the ends. Coarse is a multiple of Fine.
template <size_t Fine, size_t Coarse, typename Single, typename FineGroup, typename CoarseGroup>
void walkRun(size_t from, size_t to, Single single, FineGroup fine, CoarseGroup coarse)
{
    static_assert(Coarse % Fine == 0, "a coarse group is made of fine groups");
    size_t i = from;
    while (i < to) {
        if (i % Coarse == 0 && i + Coarse <= to) {
            coarse(i);
            i += Coarse;
        } else if (i % Fine == 0 && i + Fine <= to) {
            fine(i);
            i += Fine;
        } else {
            // Up to the next fine group, or to the end when none fits.
            const size_t end = i % Fine == 0 ? to : std::min(to, (i / Fine + 1) * Fine);
            for (; i < end; ++i)
                single(i);
        }
    }
}

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
    const auto group = [&](const GroupExtremes &g, size_t i) {
        const size_t base = blockStart(i);
        consider(g.low, base + g.lowAt, g.high, base + g.highAt);
    };
    walkRun<kFineGroup, kCoarseGroup>(
        from + 1, to,
        [&](size_t i) {
            const float v = valueAt(i);
            consider(v, i, v, i);
        },
        [&](size_t i) { group(fine(i), i); }, [&](size_t i) { group(coarse(i), i); });
    return e;
}
