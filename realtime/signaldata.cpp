#include "realtime/signaldata.h"

#include "data/samplegaps.h"
#include "data/minmaxsummary.h"

#include <QMutex>
#include <QReadWriteLock>
#include <QVector>

#include <algorithm>
#include <vector>

#if ZEP_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#endif

namespace {

// ThreadSanitizer only sees synchronisation in instrumented code, and Qt's
// QMutex and QReadWriteLock do their work inside libQt5Core, which is not
// instrumented: without help it reports every access to the series as a race
// although each one is properly locked. Rather than suppress reports wholesale
// (which would hide real races too), the sanitizer build tells it about each
// lock and unlock of the store's two locks through its mutex annotations, so
// that it checks the accesses against the locks actually held. In other
// builds the wrappers are plain forwarding calls.
#if ZEP_TSAN_ANNOTATE
inline void annotateCreate(void *m) { __tsan_mutex_create(m, 0); }
inline void annotateDestroy(void *m) { __tsan_mutex_destroy(m, 0); }
inline void annotatePreLock(void *m, unsigned flags) { __tsan_mutex_pre_lock(m, flags); }
inline void annotatePostLock(void *m, unsigned flags) { __tsan_mutex_post_lock(m, flags, 0); }
inline void annotatePreUnlock(void *m, unsigned flags) { __tsan_mutex_pre_unlock(m, flags); }
inline void annotatePostUnlock(void *m, unsigned flags) { __tsan_mutex_post_unlock(m, flags); }
constexpr unsigned kReadLock = __tsan_mutex_read_lock;
constexpr unsigned kTryLock = __tsan_mutex_try_lock;
constexpr unsigned kTryLockFailed = __tsan_mutex_try_lock_failed;
#else
inline void annotateCreate(void *) {}
inline void annotateDestroy(void *) {}
inline void annotatePreLock(void *, unsigned) {}
inline void annotatePostLock(void *, unsigned) {}
inline void annotatePreUnlock(void *, unsigned) {}
inline void annotatePostUnlock(void *, unsigned) {}
constexpr unsigned kReadLock = 0;
constexpr unsigned kTryLock = 0;
constexpr unsigned kTryLockFailed = 0;
#endif

class Mutex
{
public:
    Mutex() { annotateCreate(this); }
    ~Mutex() { annotateDestroy(this); }
    void lock()
    {
        annotatePreLock(this, 0);
        m_mutex.lock();
        annotatePostLock(this, 0);
    }
    void unlock()
    {
        annotatePreUnlock(this, 0);
        m_mutex.unlock();
        annotatePostUnlock(this, 0);
    }

private:
    QMutex m_mutex;
};

class ReadWriteLock
{
public:
    ReadWriteLock() { annotateCreate(this); }
    ~ReadWriteLock() { annotateDestroy(this); }
    void lockForRead()
    {
        annotatePreLock(this, kReadLock);
        m_lock.lockForRead();
        annotatePostLock(this, kReadLock);
    }
    void lockForWrite()
    {
        annotatePreLock(this, 0);
        m_lock.lockForWrite();
        annotatePostLock(this, 0);
    }
    bool tryLockForWrite()
    {
        annotatePreLock(this, kTryLock);
        const bool locked = m_lock.tryLockForWrite();
        annotatePostLock(this, locked ? kTryLock : kTryLock | kTryLockFailed);
        return locked;
    }
    void unlockRead()
    {
        annotatePreUnlock(this, kReadLock);
        m_lock.unlock();
        annotatePostUnlock(this, kReadLock);
    }
    void unlockWrite()
    {
        annotatePreUnlock(this, 0);
        m_lock.unlock();
        annotatePostUnlock(this, 0);
    }

private:
    QReadWriteLock m_lock;
};


// Polls per block. A block holds the times, the 31 value columns and their
// summaries; blocks are allocated as the series grows and never move.
constexpr size_t kBlockSamples = 4096;
static_assert(kBlockSamples % kCoarseGroup == 0 && kBlockSamples <= 65536, "summary offsets fit the block");

struct Block {
    uint32_t time[kBlockSamples];
    float value[kValueCount][kBlockSamples];
    GroupExtremes fine[kValueCount][kBlockSamples / kFineGroup];
    GroupExtremes coarse[kValueCount][kBlockSamples / kCoarseGroup];
};

struct Poll {
    uint32_t time;
    float values[kValueCount];
};

} // namespace

struct SignalData::PrivateData {
    PrivateData()
    {
        blocks.push_back(new Block);
        for (QRectF &r : rects)
            r = QRectF(1.0, 1.0, -2.0, -2.0);
    }
    ~PrivateData()
    {
        for (Block *b : blocks)
            delete b;
    }

    // The caller holds the write lock.
    void add(const Poll &poll)
    {
        const size_t at = count % kBlockSamples;
        if (count > 0 && at == 0 && count / kBlockSamples == blocks.size())
            blocks.push_back(new Block);
        Block &b = *blocks[count / kBlockSamples];
        if (count > 0 && poll.time < lastTime)
            breaks.stepsBack.push_back(count);
        else if (count > 0 && isGapStep(lastTime, poll.time, typicalStep))
            breaks.gaps.push_back(count);
        lastTime = poll.time;
        b.time[at] = poll.time;
        const auto offset = uint16_t(at);
        for (int k = 0; k < kValueCount; ++k) {
            const float v = poll.values[k];
            b.value[k][at] = v;
            GroupExtremes &fine = b.fine[k][at / kFineGroup];
            GroupExtremes &coarse = b.coarse[k][at / kCoarseGroup];
            if (at % kFineGroup == 0)
                fine.start(v, offset);
            else
                fine.add(v, offset);
            if (at % kCoarseGroup == 0)
                coarse.start(v, offset);
            else
                coarse.add(v, offset);
            extendBoundingRect(rects[k], QPointF(double(poll.time), double(v)));
        }
        ++count;
    }

    // The caller holds mutex and the write lock.
    void movePending()
    {
        for (const Poll &p : qAsConst(pending))
            add(p);
        pending.clear();
    }

    // The caller holds the write lock. The first block stays, so that a new
    // series starts without allocating.
    void clear()
    {
        for (size_t i = 1; i < blocks.size(); ++i)
            delete blocks[i];
        blocks.resize(1);
        count = 0;
        breaks = SeriesBreaks();
    }

    const Block &blockOf(size_t i) const { return *blocks[i / kBlockSamples]; }
    uint32_t timeAt(size_t i) const { return blockOf(i).time[i % kBlockSamples]; }

    ReadWriteLock lock; // guards everything below but pending
    std::vector<Block *> blocks;
    size_t count = 0;
    uint32_t lastTime = 0;
    double typicalStep = 0;
    SeriesBreaks breaks;
    QRectF rects[kValueCount];

    Mutex mutex; // guards pending
    QVector<Poll> pending;
};

void extendBoundingRect(QRectF &rect, const QPointF &p)
{
    if (rect.width() < 0 || rect.height() < 0) {
        rect = QRectF(p.x(), p.y(), 0.0, 0.0);
        return;
    }
    rect.setWidth(p.x() - rect.left());
    if (p.y() > rect.bottom())
        rect.setBottom(p.y());
    if (p.y() < rect.top())
        rect.setTop(p.y());
}

SignalData::SignalData()
    : d(new PrivateData)
{
}

SignalData::~SignalData() = default;

void SignalData::lock() const
{
    d->lock.lockForRead();
}

void SignalData::unlock() const
{
    d->lock.unlockRead();
}

int SignalData::size() const
{
    return int(d->count);
}

QPointF SignalData::value(int k, int row) const
{
    if (row < 0 || size_t(row) >= d->count)
        return QPointF();
    const Block &b = d->blockOf(size_t(row));
    const size_t at = size_t(row) % kBlockSamples;
    return QPointF(double(b.time[at]), double(b.value[k][at]));
}

QRectF SignalData::boundingRect(int k) const
{
    return d->rects[k];
}

bool SignalData::runExtremes(int k, size_t from, size_t to, size_t &low, size_t &high) const
{
    const PrivateData &series = *d;
    if (from >= to || to > series.count)
        return false;
    const RunExtremes e = ::runExtremes(
        from, to,
        [&](size_t i) { return series.blockOf(i).value[k][i % kBlockSamples]; },
        [&](size_t i) -> const GroupExtremes & {
            return series.blockOf(i).fine[k][i % kBlockSamples / kFineGroup];
        },
        [&](size_t i) -> const GroupExtremes & {
            return series.blockOf(i).coarse[k][i % kBlockSamples / kCoarseGroup];
        },
        [](size_t i) { return i - i % kBlockSamples; });
    low = e.low;
    high = e.high;
    return true;
}

const SeriesBreaks &SignalData::breaks() const
{
    return d->breaks;
}

void SignalData::setTypicalStep(double seconds)
{
    d->lock.lockForWrite();
    if (seconds != d->typicalStep) {
        d->typicalStep = seconds;
        d->breaks.gaps.clear();
        appendGaps(1, d->count, [this](size_t i) { return d->timeAt(i); }, seconds, d->breaks.gaps);
    }
    d->lock.unlockWrite();
}

void SignalData::appendPoll(uint32_t time, const float *values)
{
    Poll poll;
    poll.time = time;
    std::copy(values, values + kValueCount, poll.values);
    d->mutex.lock();
    d->pending += poll;
    if (d->lock.tryLockForWrite()) {
        d->movePending();
        d->lock.unlockWrite();
    }
    d->mutex.unlock();
}

void SignalData::flushPending()
{
    d->mutex.lock();
    d->lock.lockForWrite();
    d->movePending();
    d->lock.unlockWrite();
    d->mutex.unlock();
}

int SignalData::sizeWithPending()
{
    flushPending();
    d->lock.lockForRead();
    const int rows = int(d->count);
    d->lock.unlockRead();
    return rows;
}

void SignalData::clearValues()
{
    d->lock.lockForWrite();
    d->clear();
    d->lock.unlockWrite();
}

void SignalData::removeFirstRows(int rows)
{
    d->lock.lockForWrite();
    const size_t gone = qMin(size_t(qMax(rows, 0)), d->count);
    // Rebuilt from the rows that stay, so that the blocks and their
    // summaries start with the first of them.
    std::vector<Poll> kept(d->count - gone);
    for (size_t i = gone; i < d->count; ++i) {
        const Block &b = d->blockOf(i);
        Poll &p = kept[i - gone];
        p.time = b.time[i % kBlockSamples];
        for (int k = 0; k < kValueCount; ++k)
            p.values[k] = b.value[k][i % kBlockSamples];
    }
    d->clear();
    for (const Poll &p : kept)
        d->add(p);
    d->lock.unlockWrite();
}
