// How the sampling thread shares one link among its meters: the back-off of
// a meter that stops answering, the order of a slot's polls and how long
// each may take.

#include "comm/pollplan.h"
#include "coretesting.h"

class TestPollPlan : public QObject
{
    Q_OBJECT

private slots:
    // The slots a meter is polled in when it answers (a) or fails (f) each
    // poll in turn, at an interval, alone on its link or with others.
    void backoff_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<qint64>("periodMs");
        QTest::addColumn<int>("meters");
        QTest::addColumn<QList<qint64>>("polledSlots");
        QTest::newRow("dead: every 2nd, 4th ... slot, once a minute at least") << "fffffffff" << qint64(1000) << 2
                                                << QList<qint64>{0, 1, 2, 4, 8, 16, 32, 64, 124};
        QTest::newRow("at 10 s") << "ffffff" << qint64(10000) << 3 << QList<qint64>{0, 1, 2, 4, 8, 14};
        QTest::newRow("back after a while") << "ffffaa" << qint64(1000) << 3 << QList<qint64>{0, 1, 2, 4, 8, 9};
        QTest::newRow("alone on its link") << "fffff" << qint64(1000) << 1 << QList<qint64>{0, 1, 2, 3, 4};
    }

    void backoff()
    {
        QFETCH(QString, answers);
        QFETCH(qint64, periodMs);
        QFETCH(int, meters);
        QFETCH(QList<qint64>, polledSlots);
        MeterStanding meter;
        QList<qint64> polled;
        for (const QChar answer : answers) {
            polled << meter.dueSlot;
            meter = afterPoll(meter, meter.dueSlot, answer == QLatin1Char('a'), 20, periodMs, meters);
        }
        QCOMPARE(polled, polledSlots);
        QCOMPARE(meter.exchangeMs, answers.contains(QLatin1Char('a')) ? qint64(20) : qint64(-1));
    }

    // Meters that answered go first, the failing ones after them, each in
    // the order of the settings; those not due, or left out, not at all.
    void slotOrder_data()
    {
        QTest::addColumn<QList<int>>("failures"); // -1: left out
        QTest::addColumn<QList<qint64>>("due");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("all well") << QList<int>{0, 0, 0} << QList<qint64>{0, 0, 0} << QList<int>{0, 1, 2};
        QTest::newRow("two failing") << QList<int>{2, 0, 1} << QList<qint64>{0, 0, 0} << QList<int>{1, 0, 2};
        QTest::newRow("backed off, left out") << QList<int>{0, 4, -1} << QList<qint64>{0, 9, 0} << QList<int>{0};
    }

    void slotOrder()
    {
        QFETCH(QList<int>, failures);
        QFETCH(QList<qint64>, due);
        QFETCH(QList<int>, order);
        std::vector<MeterStanding> meters;
        std::vector<bool> skip;
        for (int m = 0; m < failures.size(); ++m) {
            meters.push_back({qMax(failures[m], 0), due[m], -1});
            skip.push_back(failures[m] < 0);
        }
        QCOMPARE(::slotOrder(meters, skip, 5).toList(), order);
    }

    // What a poll may take of a 1 s slot with three meters on the link.
    void budget_data()
    {
        QTest::addColumn<qint64>("exchangeMs");   // of the meter, -1 before it answered
        QTest::addColumn<qint64>("startMs");      // in the slot
        QTest::addColumn<QList<qint64>>("later"); // exchanges of the meters still to come
        QTest::addColumn<qint64>("budgetMs");
        QTest::newRow("first of the run") << qint64(-1) << qint64(0) << QList<qint64>{-1, -1} << qint64(318);
        QTest::newRow("first, the others known") << qint64(10) << qint64(0) << QList<qint64>{10, 20} << qint64(790);
        QTest::newRow("last: the rest of the slot") << qint64(10) << qint64(250) << QList<qint64>{} << qint64(700);
        QTest::newRow("slot overrun: its own need") << qint64(200) << qint64(990) << QList<qint64>{200} << qint64(450);
    }

    void budget()
    {
        QFETCH(qint64, exchangeMs);
        QFETCH(qint64, startMs);
        QFETCH(QList<qint64>, later);
        QFETCH(qint64, budgetMs);
        qint64 laterNeed = 0;
        for (qint64 ms : later)
            laterNeed += meterNeedMs({0, 0, ms}, 1000, 3);
        const qint64 left = slotLeftMs(1000, startMs, 1000);
        QCOMPARE(pollBudgetMs(left, laterNeed, meterNeedMs({0, 0, exchangeMs}, 1000, 3), 3), budgetMs);
        // Alone on its link, a meter has the links' full time-outs.
        QCOMPARE(pollBudgetMs(left, laterNeed, 0, 1), qint64(-1));
    }
};

ZEP_TEST_MAIN_CORE(TestPollPlan)
#include "tst_pollplan.moc"
