#include "realtime/signaldata.h"

#include <QDateTime>
#include <QMutex>
#include <QReadWriteLock>
#include <QVector>

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

} // namespace

struct SignalData::PrivateData {
    PrivateData()
        : boundingRect(1.0, 1.0, -2.0, -2.0)
    {
        values.reserve(1000);
    }

    // Grows the rectangle by p in constant time. The right edge always moves
    // to the newest x, so a clock set back leaves a negative width, and the
    // sample after that starts the rectangle afresh.
    void extend(const QPointF &p)
    {
        if (boundingRect.width() < 0 || boundingRect.height() < 0) {
            boundingRect = QRectF(p.x(), p.y(), 0.0, 0.0);
            return;
        }
        boundingRect.setWidth(p.x() - boundingRect.left());
        if (p.y() > boundingRect.bottom())
            boundingRect.setBottom(p.y());
        if (p.y() < boundingRect.top())
            boundingRect.setTop(p.y());
    }

    // The caller holds mutex and the write lock.
    void movePending()
    {
        for (const QPointF &p : qAsConst(pendingValues)) {
            values.append(p);
            extend(p);
        }
        pendingValues.clear();
    }

    ReadWriteLock lock;      // guards values and boundingRect
    QVector<QPointF> values;
    QRectF boundingRect;

    Mutex mutex;             // guards pendingValues
    QVector<QPointF> pendingValues;
};

SignalData::SignalData()
    : d_data(new PrivateData)
{
}

SignalData::~SignalData()
{
    delete d_data;
}

SignalData &SignalData::instance(int index)
{
    static SignalData stores[kValueCount];
    return stores[index];
}

int SignalData::size() const
{
    return d_data->values.size();
}

QPointF SignalData::value(int index) const
{
    if (index < 0 || index >= d_data->values.size())
        return QPointF();
    return d_data->values.at(index);
}

QRectF SignalData::boundingRect() const
{
    return d_data->boundingRect;
}

void SignalData::lock()
{
    d_data->lock.lockForRead();
}

void SignalData::unlock()
{
    d_data->lock.unlockRead();
}

void SignalData::append(const QPointF &sample)
{
    d_data->mutex.lock();
    d_data->pendingValues += sample;
    if (d_data->lock.tryLockForWrite()) {
        d_data->movePending();
        d_data->lock.unlockWrite();
    }
    d_data->mutex.unlock();
}

void SignalData::flushPending()
{
    for (int k = 0; k < kValueCount; ++k) {
        PrivateData *d = instance(k).d_data;
        d->mutex.lock();
        d->lock.lockForWrite();
        d->movePending();
        d->lock.unlockWrite();
        d->mutex.unlock();
    }
}

void SignalData::clearValues()
{
    d_data->lock.lockForWrite();
    // Since Qt 5.7 clear() keeps the capacity, so a new series after a
    // clear grows without reallocating.
    d_data->values.clear();
    d_data->lock.unlockWrite();
}

void SignalData::lockAll()
{
    for (int k = 0; k < kValueCount; ++k)
        instance(k).lock();
}

void SignalData::unlockAll()
{
    for (int k = kValueCount - 1; k >= 0; --k)
        instance(k).unlock();
}

int SignalData::commonSize()
{
    int n = instance(0).size();
    for (int k = 1; k < kValueCount; ++k)
        n = qMin(n, instance(k).size());
    return n;
}

CurveData::CurveData(int index)
    : m_index(index)
{
}

size_t CurveData::size() const
{
    return size_t(SignalData::instance(m_index).size());
}

QPointF CurveData::sample(size_t i) const
{
    return SignalData::instance(m_index).value(int(i));
}

QRectF CurveData::boundingRect() const
{
    return SignalData::instance(m_index).boundingRect();
}

uint32_t appendPollValues(const SampleRecord &poll)
{
    const uint32_t time = QDateTime::currentDateTime().toTime_t();
    const double x = double(time);
    for (int k = 0; k < kValueCount; ++k)
        SignalData::instance(k).append(QPointF(x, double(poll.values[k])));
    return time;
}
