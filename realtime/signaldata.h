#pragma once

#include "data/samplegaps.h"
#include "data/samplerecord.h"

#include <QPointF>
#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <memory>

// The live series of the 31 measured quantities of one meter, shared between
// the sampling thread (the only writer) and the user interface thread
// (readers); its meter's session owns it and hands it to them. A row is
// one poll: one time and 31 values; store k is value column k, which holds
// column k + 1 of ParamTable.
//
// Values are kept in single precision, as the meter sends them: a poll costs
// 128 bytes plus a small min/max summary per column. The series grows in
// fixed blocks; a block once written never moves, so growth never copies
// what was acquired before.
//
// Readers hold the read lock (lock() ... unlock()) around every read of
// size, value, boundingRect, breaks or runExtremes, for a whole pass when
// they read several values. The writer never waits for a reader: a poll
// that arrives while a reader holds the lock waits in a pending list and
// joins the series with the next poll that finds the lock free, or with
// flushPending(). Every row a reader can see is complete.
class SignalData
{
public:
    SignalData();
    ~SignalData();
    SignalData(const SignalData &) = delete;
    SignalData &operator=(const SignalData &) = delete;

    // The read lock.
    void lock() const;
    void unlock() const;

    // Rows in the series; pending polls are not counted.
    int size() const;
    // Store k (0..30, not checked) at row (0 <= row < size()): x the poll's
    // time, y its value; outside that range of rows a null point.
    QPointF value(int k, int row) const;
    // Covers every value of store k appended since the series was created,
    // clearValues notwithstanding; (1, 1, -2, -2) before the first one.
    QRectF boundingRect(int k) const;
    // Where the lowest and highest values of store k in rows [from, to) are,
    // read from the summary; false unless from < to <= size().
    bool runExtremes(int k, size_t from, size_t to, size_t &low, size_t &high) const;
    // Where the series' line breaks: the rows where the clock went back and
    // those after a gap against the typical step. Both kept as polls come.
    const SeriesBreaks &breaks() const;

    // The step between polls the series expects, the sampling interval in
    // seconds; 0, the start, makes nothing a gap. A new step judges the
    // rows there are anew. Waits for the write lock.
    void setTypicalStep(double seconds);

    // For the writer only: one poll's time and its 31 values, value k for
    // store k.
    void appendPoll(uint32_t time, const float *values);

    // Moves the polls still pending into the series. For the user interface
    // thread while it holds no read lock: once the sampling thread has ended
    // nothing else would, and a close check must count every poll. Waits at
    // most for one append in progress.
    void flushPending();
    // The rows once the pending polls have joined them (flushPending), as
    // a close check or a save must count them. The same thread and terms.
    int sizeWithPending();

    // Empties the series, keeping the bounding rectangles, the typical step,
    // the first block and any pending polls. Waits for the write lock.
    void clearValues();
    // Removes the first rows of the series (all of them when it has fewer);
    // the rest keep their order. Waits for the write lock.
    void removeFirstRows(int rows);

private:
    struct PrivateData;
    std::unique_ptr<PrivateData> d;
};

// Grows a bounding rectangle by p in constant time. The right edge always
// moves to the newest x, so a clock set back leaves a negative width, and
// the sample after that starts the rectangle afresh.
void extendBoundingRect(QRectF &rect, const QPointF &p);
