#pragma once

#include "data/samplerecord.h"

#include <QString>

#include <functional>

class QAbstractItemModel;
class QStandardItemModel;

// Minimum, maximum and average of each measured quantity over the records
// first..last, both included; index k is column k + 1. Records without a
// time are no part of a span, and values that are no number are no values:
// a quantity without any value in the span has none of the three (NaN,
// shown empty).
struct SpanStatistics {
    // The records with a time.
    int samples = 0;
    float minimum[kValueCount] = {};
    float maximum[kValueCount] = {};
    // The sum is kept in double; the average is rounded to single precision.
    float average[kValueCount] = {};
};

// Reports the share of a span of count records done, 0..100, each time that
// figure changes; it reaches 100 with the last record, also for a span of
// one record. Only the changes are reported: a call per record would cost
// more than the work itself on long files.
class SpanProgress
{
public:
    SpanProgress(qint64 count, const std::function<void(int percent)> &progress)
        : n(count)
        , report(progress)
    {
    }

    // Record pos (0..count-1) is done.
    void done(qint64 pos)
    {
        if (report && pos >= next)
            advance(pos);
    }

private:
    void advance(qint64 pos);

    qint64 n;
    std::function<void(int percent)> report;
    qint64 next = 0;
};

// An empty span (last < first) gives samples == 0 and reports no progress.
// progress receives the share of the span done, 0..100, each time that
// figure changes; it reaches 100 with the last record, also for a span of
// one record.
SpanStatistics spanStatistics(const SampleRecord *records, int first, int last,
                              const std::function<void(int percent)> &progress = {});

// The result table: header "参数", "最小值", "最大值", "平均值" and one row per
// quantity. Rows that exist already are overwritten.
void setUpStatisticsModel(QStandardItemModel *model);
void fillStatisticsModel(QStandardItemModel *model, const SpanStatistics &stats);

// Header and rows, fields separated by tabs, every line ending with "\n".
QString modelText(const QAbstractItemModel &model);
