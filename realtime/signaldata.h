#pragma once

#include "data/samplerecord.h"
#include "views/viewcurve.h"

#include <QPointF>
#include <QRectF>

#include <qwt_series_data.h>

// The live series of the 31 measured quantities, shared between the sampling
// thread (the only writer) and the user interface thread (readers). Store k
// holds column k + 1 of ParamTable.
//
// One poll gives one time and 31 values, so the stores share one time
// column and keep their values in single precision, as the meter sends
// them: a poll costs 128 bytes plus a small min/max summary. The series grows
// in fixed blocks; a block once written never moves, so growth never copies
// what was acquired before.
//
// Readers hold the read lock (lock() ... unlock(), or lockAll() for a pass
// over several stores) around every read of size, value or boundingRect, for
// a whole pass when they read several values. The writer never waits for a
// reader: a poll that arrives while a reader holds the lock waits in a
// pending list and joins the series with the next poll that finds the lock
// free, or with flushPending(). All stores have the same size at any time a
// reader can see them.
class SignalData
{
public:
    // Store 0..30; the index is not checked. All 31 stores are created by the
    // first call and live until the program ends.
    static SignalData &instance(int index);

    virtual ~SignalData();
    SignalData(const SignalData &) = delete;
    SignalData &operator=(const SignalData &) = delete;

    // Samples in the series; pending ones are not counted.
    int size() const;
    // Sample index (0 <= index < size()); outside that range a null point.
    QPointF value(int index) const;
    // Covers every sample appended since the program started, clearValues
    // notwithstanding; (1, 1, -2, -2) before the first one.
    QRectF boundingRect() const;
    // Where the lowest and highest values of samples [from, to) are, read
    // from the summary; from < to <= size(). False when the times of the
    // series do not ascend (the clock was set back), where a run of indexes
    // is no run of time.
    bool runExtremes(size_t from, size_t to, size_t &low, size_t &high) const;

    // The read lock, for readers; the stores share it.
    void lock();
    void unlock();

    // For the sampling thread only: one poll's time and its 31 values, value
    // k for store k.
    static void appendPoll(uint32_t time, const float *values);

    // Empties the series of all stores (they share their times), keeping
    // the bounding rectangles, the first block and any pending polls. Waits
    // for the write lock.
    void clearValues();

    // The read lock for a pass over all stores.
    static void lockAll();
    static void unlockAll();
    // The row count of a pass; the caller holds the read lock.
    static int commonSize();

    // Moves the polls still pending into the series. For the user interface
    // thread while it holds no read lock: once the sampling thread has ended
    // nothing else would, and a close check must count every poll. Waits at
    // most for one append in progress.
    static void flushPending();

private:
    SignalData();

    struct PrivateData;
    PrivateData *d_data;
};

inline SignalData &signalData(int index)
{
    return SignalData::instance(index);
}

// A plot curve's view of one store. It copies nothing; the caller of size,
// sample, boundingRect and runExtremes holds the read lock (a redraw holds it
// for the whole drawing).
class CurveData : public QwtSeriesData<QPointF>, public SummarizedSeries
{
public:
    explicit CurveData(int index);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    bool runExtremes(size_t from, size_t to, size_t &low, size_t &high) const override;

private:
    int m_index;
};

// Grows a bounding rectangle by p in constant time. The right edge always
// moves to the newest x, so a clock set back leaves a negative width, and
// the sample after that starts the rectangle afresh.
void extendBoundingRect(QRectF &rect, const QPointF &p);

// Called by the sampling thread after every successful poll: one sample with
// the current time (whole seconds since the epoch) and value k + 1 of the
// poll buffer goes into store k, for k = 0..30. Cell 0 is not read. Returns
// the time the samples got.
uint32_t appendPollValues(const SampleRecord &poll);
