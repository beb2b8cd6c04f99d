#include "realtime/curvedata.h"
#include "realtime/metersession.h"
#include "realtime/signaldata.h"
#include "testsupport.h"
#include "../views/seriestesting.h"

#include <qwt_scale_map.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <random>
#include <thread>

// The live series lives for the whole process and keeps its rectangles:
// each test empties it first where it counts samples.

namespace {

SignalData &liveSeries()
{
    static SignalData series;
    return series;
}

QRectF rectOf(int store)
{
    SignalData &s = liveSeries();
    s.lock();
    const QRectF r = s.boundingRect(store);
    s.unlock();
    return r;
}

// One poll at time x; store k gets base + k.
void appendPoll(uint32_t x, double base)
{
    float values[kValueCount];
    for (int k = 0; k < kValueCount; ++k)
        values[k] = float(base + k);
    liveSeries().appendPoll(x, values);
}

int liveSize()
{
    SignalData &s = liveSeries();
    s.lock();
    const int n = s.size();
    s.unlock();
    return n;
}

} // namespace

class TestSignalData : public QObject
{
    Q_OBJECT

private slots:
    void newStore()
    {
        const SignalData series;
        series.lock();
        QCOMPARE(series.size(), 0);
        QCOMPARE(series.boundingRect(30), QRectF(1.0, 1.0, -2.0, -2.0));
        series.unlock();
        CurveData curve(series, 30);
        QCOMPARE(curve.size(), size_t(0));
        QCOMPARE(curve.boundingRect(), QRectF(1.0, 1.0, -2.0, -2.0));
    }

    // "x,y x,y ..." grown one sample at a time; "left top width height | ..."
    // after each.
    void rectangle_data()
    {
        QTest::addColumn<QString>("samples");
        QTest::addColumn<QString>("rects");
        QTest::newRow("first sample") << "100,7" << "100 7 0 0";
        QTest::newRow("top and bottom") << "100,10 101,30 102,20 103,5" << "100 10 0 0|100 10 1 20|100 10 2 20|100 5 3 25";
        QTest::newRow("clock set back, then restart")
            << "100,10 101,30 50,20 60,40 61,1" << "100 10 0 0|100 10 1 20|100 10 -50 20|60 40 0 0|60 1 1 39";
        QTest::newRow("same second twice") << "100,1 100,2" << "100 1 0 0|100 1 0 1";
        QTest::newRow("right edge follows the newest x") << "100,1 200,1 150,1" << "100 1 0 0|100 1 100 0|100 1 50 0";
    }

    void rectangle()
    {
        QFETCH(QString, samples);
        QFETCH(QString, rects);
        const QStringList points = samples.split(QLatin1Char(' '));
        const QStringList expected = rects.split(QLatin1Char('|'));
        QCOMPARE(points.size(), expected.size());
        QRectF rect(1.0, 1.0, -2.0, -2.0);
        for (int i = 0; i < points.size(); ++i) {
            const QStringList xy = points[i].split(QLatin1Char(','));
            extendBoundingRect(rect, QPointF(xy[0].toDouble(), xy[1].toDouble()));
            const QStringList r = expected[i].split(QLatin1Char(' '));
            QCOMPARE(rect, QRectF(r[0].toDouble(), r[1].toDouble(), r[2].toDouble(), r[3].toDouble()));
        }
    }

    void clearKeepsRectangle()
    {
        appendPoll(100, 10);
        appendPoll(110, 20);
        liveSeries().clearValues();
        QCOMPARE(liveSize(), 0);
        QCOMPARE(rectOf(6), QRectF(100, 16, 10, 10));
        // The next sample extends the old rectangle instead of restarting it.
        appendPoll(120, 5);
        QCOMPARE(rectOf(6), QRectF(100, 11, 20, 15));
        QCOMPARE(liveSize(), 1);
        liveSeries().clearValues();
    }

    void curveReadsStore()
    {
        SignalData &s = liveSeries();
        appendPoll(1000, -4.5);
        appendPoll(1001, 3.5);
        CurveData curve(s, 7);
        s.lock();
        QCOMPARE(curve.size(), size_t(2));
        QCOMPARE(curve.sample(1), QPointF(1001, 10.5));
        QCOMPARE(curve.sample(0), QPointF(1000, 2.5));
        // Past the end: a null point rather than memory beyond the series.
        QCOMPARE(s.value(7, 2), QPointF());
        QCOMPARE(s.value(7, -1), QPointF());
        s.unlock();
    }

    // The writer must not wait for a reader: with the read lock held
    // elsewhere, append returns and the sample waits until the next append.
    void appendNeverWaits()
    {
        SignalData &s = liveSeries();
        s.clearValues();
        appendPoll(1, -7);
        s.lock();
        auto writer = std::async(std::launch::async, [] { appendPoll(2, -6); });
        const bool returned = writer.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        const int whileLocked = s.size();
        s.unlock();
        QVERIFY(returned);
        QCOMPARE(whileLocked, 1);
        QCOMPARE(liveSize(), 1);
        std::async(std::launch::async, [] { appendPoll(3, -5); }).wait();
        s.lock();
        QCOMPARE(s.size(), 3);
        QCOMPARE(s.value(8, 1), QPointF(2, 2));
        QCOMPARE(s.value(8, 2), QPointF(3, 3));
        s.unlock();
    }

    // One thread appends as fast as it can while another reads under the
    // read lock: every sample arrives once and in order.
    void stressOneStore()
    {
        const int count = 200000;
        SignalData &s = liveSeries();
        s.clearValues();
        std::atomic<bool> done{false};
        std::atomic<int> passes{0};
        QString failure;
        std::thread reader([&] {
            int seen = 0;
            while (failure.isEmpty()) {
                const bool last = done.load();
                s.lock();
                const int n = s.size();
                if (n < seen)
                    failure = QStringLiteral("size went down from %1 to %2").arg(seen).arg(n);
                for (int i = seen; i < n && failure.isEmpty(); ++i) {
                    if (s.value(9, i) != QPointF(i, -i))
                        failure = QStringLiteral("sample %1 is (%2, %3)").arg(i).arg(s.value(9, i).x()).arg(s.value(9, i).y());
                }
                const QRectF r = s.boundingRect(9);
                if (n > 0 && (r.right() != n - 1 || r.top() > 1 - n))
                    failure = QStringLiteral("rectangle wrong at %1 samples").arg(n);
                s.unlock();
                seen = n;
                ++passes;
                if (last)
                    break;
            }
        });
        std::thread writer([&] {
            for (int i = 0; i < count; ++i)
                appendPoll(i, -i - 9);
            done = true;
        });
        writer.join();
        reader.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(passes > 1);
        // Anything still pending joins with the next append.
        appendPoll(count, -count - 9);
        s.lock();
        QCOMPARE(s.size(), count + 1);
        for (int i = 0; i <= count; ++i) {
            if (s.value(9, i) != QPointF(i, -i))
                QFAIL(qPrintable(QStringLiteral("sample %1 lost or moved").arg(i)));
        }
        s.unlock();
    }

    // Polls into all 31 stores against a reader that takes the lock and
    // reads every row: each row holds one poll.
    void stressPolls()
    {
        SignalData &s = liveSeries();
        s.clearValues();
        const int polls = 5000;
        std::atomic<bool> done{false};
        QString failure;
        std::thread reader([&] {
            while (failure.isEmpty()) {
                const bool last = done.load();
                s.lock();
                const int rows = s.size();
                for (int r = 0; r < rows && failure.isEmpty(); ++r) {
                    const double x = s.value(0, r).x();
                    for (int k = 0; k < kValueCount; ++k) {
                        const QPointF p = s.value(k, r);
                        if (p.y() != double(r * 100 + k) || p.x() != x)
                            failure = QStringLiteral("row %1 store %2: (%3, %4)").arg(r).arg(k).arg(p.x()).arg(p.y());
                    }
                }
                s.unlock();
                if (last)
                    break;
            }
        });
        std::thread writer([&] {
            SampleRecord poll;
            memset(&poll, 0, sizeof poll);
            for (int i = 0; i < polls; ++i) {
                for (int k = 0; k < kValueCount; ++k)
                    poll.values[k] = float(i * 100 + k);
                s.appendPoll(uint32_t(1000 + i), poll.values);
            }
            done = true;
        });
        writer.join();
        reader.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    // The summary against a plain scan, over runs that begin and end inside
    // and at the edges of its groups and blocks, and through the picks of
    // a thinned curve.
    void runExtremes_data() { zeptest::addValuePatterns(); }

    void runExtremes()
    {
        QFETCH(int, pattern);
        SignalData &s = liveSeries();
        s.flushPending();
        s.clearValues();
        const size_t count = 3 * 4096 + 777;
        std::mt19937 random(uint32_t(pattern) + 1);
        float row[kValueCount] = {};
        QVector<QPointF> copy;
        for (size_t i = 0; i < count; ++i) {
            const float noise = float(random() % 100000) / 7.0f;
            row[0] = zeptest::patternValue(pattern, int(i), noise, random());
            copy.append(QPointF(1000 + i, row[0]));
            s.appendPoll(uint32_t(1000 + i), row);
        }
        const auto y = [&copy](size_t i) { return float(copy[int(i)].y()); };
        const std::vector<size_t> edges{0, 1, 31, 32, 33, 1023, 1024, 1025, 2048, 4095, 4096, 4097, 8191, 8192, 9000, count - 1, count};
        QString failure;
        QwtScaleMap xMap;
        xMap.setScaleInterval(1000, 1000 + count);
        xMap.setPaintInterval(0, 700);
        s.lock();
        for (size_t from : edges) {
            for (size_t to : edges) {
                size_t low = from, high = from, l = 0, h = 0;
                for (size_t i = from; i < to; ++i) {
                    low = !std::isnan(y(i)) && (std::isnan(y(low)) || y(i) < y(low)) ? i : low;
                    high = !std::isnan(y(i)) && (std::isnan(y(high)) || y(i) > y(high)) ? i : high;
                }
                if (from < to && (!s.runExtremes(0, from, to, l, h) || l != low || h != high))
                    failure = QStringLiteral("[%1, %2): %3 %4, not %5 %6").arg(from).arg(to).arg(l).arg(h).arg(low).arg(high);
            }
        }
        PickedSamples fromSummary;
        CurveData(s, 0).pickColumns(0, int(count) - 1, xMap, fromSummary);
        size_t low = 0, high = 0;
        s.runExtremes(0, 0, count, low, high);
        s.unlock();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(fromSummary.indexes, zeptest::scannedPicks(QwtPointSeriesData(copy), 0, int(count) - 1, xMap));
        // A clock set back breaks the line there and leaves the summary whole.
        appendPoll(999, 0);
        size_t l = 0, h = 0;
        s.lock();
        QVERIFY(s.runExtremes(0, 0, count, l, h));
        QCOMPARE(std::make_pair(l, h), std::make_pair(low, high));
        QCOMPARE(s.breaks().stepsBack, std::vector<size_t>{count});
        s.unlock();
    }

    // Where the live line breaks: found as polls come, and anew for a new
    // typical step; gone with the rows.
    void breaks()
    {
        SignalData &s = liveSeries();
        s.flushPending();
        s.clearValues();
        s.setTypicalStep(1);
        for (const uint32_t t : {100u, 101u, 102u, 110u, 105u, 106u, 130u})
            appendPoll(t, 0);
        const auto breaksNow = [&s] {
            s.lock();
            const SeriesBreaks b = s.breaks();
            s.unlock();
            return std::make_pair(b.gaps, b.stepsBack);
        };
        QCOMPARE(breaksNow(), std::make_pair(std::vector<size_t>{3, 6}, std::vector<size_t>{4}));
        s.setTypicalStep(5);
        QCOMPARE(breaksNow(), std::make_pair(std::vector<size_t>{6}, std::vector<size_t>{4}));
        s.clearValues();
        s.setTypicalStep(0);
        QCOMPARE(breaksNow(), std::make_pair(std::vector<size_t>{}, std::vector<size_t>{}));
    }

    // A meter's poll goes into its own session's series with the time the
    // thread gives it; the record's own time cell is never read.
    void pollTime()
    {
        MeterSession session(MeterConfig{QStringLiteral("电表1"), 1});
        SampleRecord poll;
        memset(&poll, 0, sizeof poll);
        poll.time = 12345; // never read
        for (int k = 0; k < kValueCount; ++k)
            poll.values[k] = 0.5f + float(k);
        const int elsewhere = liveSeries().sizeWithPending();
        QCOMPARE(session.storePoll(poll, 1700000001).time, 1700000001u);
        SignalData &s = session.series();
        QCOMPARE(s.sizeWithPending(), 1);
        s.lock();
        for (int k = 0; k < kValueCount; ++k)
            QCOMPARE(s.value(k, 0), QPointF(1700000001, 0.5 + k));
        s.unlock();
        QCOMPARE(liveSeries().sizeWithPending(), elsewhere);
    }
};

ZEP_TEST_MAIN_CORE(TestSignalData)
#include "tst_signaldata.moc"
