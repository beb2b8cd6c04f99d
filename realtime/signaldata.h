#pragma once

#include "data/samplerecord.h"

#include <QPointF>
#include <QRectF>

#include <qwt_series_data.h>

// The live series of one measured quantity, shared between the sampling
// thread (the only writer) and the user interface thread (readers). There are
// exactly 31 stores, store k holding column k + 1 of ParamTable.
//
// Readers hold the store's read lock (lock() ... unlock()) around every read
// of size, value or boundingRect, for a whole pass when they read several
// values. The writer never waits for a reader: a sample that arrives while a
// reader holds the lock waits in a pending list and joins the series with the
// next append that finds the lock free.
//
// Because of that, and because one poll appends to the stores one after the
// other, a reader may see store k hold a sample or two more than store j. A
// pass over several stores therefore takes their read locks in ascending
// index order (lockAll) and uses commonSize() as its row count: the size of
// the shortest store, so that it never reads past a store's own samples. The
// rows it leaves out appear in the next pass.
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

    // The read lock, for readers.
    void lock();
    void unlock();

    // For the sampling thread only.
    void append(const QPointF &sample);

    // Empties the series, keeping its capacity, the bounding rectangle and
    // any pending samples. Waits for the write lock.
    void clearValues();

    // Read locks of all stores, taken in ascending and released in
    // descending index order.
    static void lockAll();
    static void unlockAll();
    // The smallest size of the 31 stores; the caller holds all read locks.
    static int commonSize();

    // Moves the samples still pending in every store into its series. For
    // the user interface thread while it holds no read lock: once the
    // sampling thread has ended nothing else would, and a close check must
    // count every poll. Waits at most for one append in progress.
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
// sample and boundingRect holds the store's read lock (a redraw holds it for
// the whole drawing).
class CurveData : public QwtSeriesData<QPointF>
{
public:
    explicit CurveData(int index);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;

private:
    int m_index;
};

// Called by the sampling thread after every successful poll: one sample with
// the current time (whole seconds since the epoch) and value k + 1 of the
// poll buffer goes into store k, for k = 0..30. Cell 0 is not read. Returns
// the time the samples got.
uint32_t appendPollValues(const SampleRecord &poll);
