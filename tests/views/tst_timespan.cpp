#include "data/datafile.h"
#include "views/timespan.h"
#include "testsupport.h"

#include <QDateEdit>
#include <QTimeEdit>

#include <vector>

Q_DECLARE_METATYPE(SpanCheck)


class TestTimeSpan : public QObject
{
    Q_OBJECT

private slots:
    void decide_data()
    {
        QTest::addColumn<QList<uint>>("times");
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<SpanCheck>("check");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        // Samples at 100, 110, 120, then a gap to 200.
        const QList<uint> file{100, 110, 120, 200};
        QTest::newRow("whole file") << file << 100u << 200u << SpanCheck::Ok << 0 << 3;
        QTest::newRow("start before, end after: start wins") << file << 99u << 201u << SpanCheck::StartOutside << 0 << -1;
        QTest::newRow("start after the file") << file << 201u << 200u << SpanCheck::StartOutside << 0 << -1;
        QTest::newRow("end after") << file << 100u << 201u << SpanCheck::EndOutside << 0 << -1;
        QTest::newRow("end before") << file << 110u << 99u << SpanCheck::EndOutside << 0 << -1;
        QTest::newRow("reversed") << file << 120u << 110u << SpanCheck::Reversed << 0 << -1;
        QTest::newRow("equal, on a sample") << file << 110u << 110u << SpanCheck::Ok << 1 << 1;
        QTest::newRow("between samples") << file << 105u << 115u << SpanCheck::Ok << 1 << 1;
        QTest::newRow("inside a gap") << file << 130u << 190u << SpanCheck::Ok << 3 << 2;
        QTest::newRow("one-record file") << QList<uint>{50} << 50u << 50u << SpanCheck::Ok << 0 << 0;
        QTest::newRow("repeated times") << QList<uint>{10, 20, 20, 30} << 20u << 20u << SpanCheck::Ok << 1 << 2;
        // Not ascending: the first record at or after the start counted from
        // the beginning, the last one at or before the end from the end.
        QTest::newRow("clock set back") << QList<uint>{100, 300, 150, 160, 170, 180, 400} << 170u << 250u
                                        << SpanCheck::Ok << 1 << 5;
        QTest::newRow("an unreadable time") << QList<uint>{100, 110, 120, 0xFFFFFFFFu, 130, 600} << 110u << 300u
                                            << SpanCheck::Ok << 1 << 4;
    }

    void decide()
    {
        QFETCH(QList<uint>, times);
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(SpanCheck, check);
        std::vector<SampleRecord> rs(size_t(times.size()), SampleRecord{});
        for (int i = 0; i < times.size(); ++i)
            rs[size_t(i)].time = times[i];
        const bool ascending = timesAscending(rs.data(), int(rs.size()));
        const SpanDecision d = decideSpan(rs.data(), int(rs.size()), start, end, ascending);
        // On ascending times the scans agree with the bisection.
        QCOMPARE(decideSpan(rs.data(), int(rs.size()), start, end, false).last, d.last);
        QCOMPARE(d.check, check);
        if (check == SpanCheck::Ok) {
            QTEST(d.first, "first");
            QTEST(d.last, "last");
            QVERIFY(spanMessage(d.check).isEmpty());
        } else {
            QVERIFY(!spanMessage(d.check).isEmpty());
        }
    }

    void messages()
    {
        QCOMPARE(spanMessage(SpanCheck::StartOutside), QStringLiteral("起始时间超出了文件时间范围！"));
        QCOMPARE(spanMessage(SpanCheck::EndOutside), QStringLiteral("结束时间超出了文件时间范围！"));
        QCOMPARE(spanMessage(SpanCheck::Reversed), QStringLiteral("起始时间和结束时间颠倒了！"));
    }

    void editsRoundTrip()
    {
        QDateEdit date;
        QTimeEdit time;
        const uint32_t t = 1525586601; // 2018-05-06 06:03:21 UTC
        setEditsTime(&date, &time, t);
        QCOMPARE(editsTime(&date, &time), t);
        // Milliseconds in a time never leak into the seconds.
        QCOMPARE(editsTime(date.date(), time.time().addMSecs(999)), t);
    }

    void period()
    {
        DataFile file(QStringLiteral("x.txt"), 2);
        file.records[0].time = uint32_t(QDateTime(QDate(2018, 4, 20), QTime(15, 30, 20)).toSecsSinceEpoch());
        file.records[1].time = uint32_t(QDateTime(QDate(2018, 4, 21), QTime(13, 2, 50)).toSecsSinceEpoch());
        QCOMPARE(periodText(file), QStringLiteral("2018/04/20 15:30:20 -> 2018/04/21 13:02:50"));
    }
};

ZEP_TEST_MAIN(TestTimeSpan)
#include "tst_timespan.moc"
