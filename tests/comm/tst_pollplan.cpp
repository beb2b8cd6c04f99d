// How the sampling thread shares one link among its meters: the back-off of
// a meter that stops answering, the order of a slot's polls and how long
// each may take.

#include "comm/comerror.h"
#include "comm/pollplan.h"
#include "coretesting.h"

class TestPollPlan : public QObject
{
    Q_OBJECT

private slots:
    void backoff_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<qint64>("periodMs");
        QTest::addColumn<int>("meters");
        QTest::addColumn<qint64>("gap");
        QTest::newRow("answered") << 0 << qint64(1000) << 3 << qint64(1);
        QTest::newRow("two failures: every slot still") << 2 << qint64(1000) << 3 << qint64(1);
        QTest::newRow("third failure: every 2nd") << 3 << qint64(1000) << 3 << qint64(2);
        QTest::newRow("fourth: every 4th") << 4 << qint64(1000) << 3 << qint64(4);
        QTest::newRow("fifth: every 8th") << 5 << qint64(1000) << 3 << qint64(8);
        QTest::newRow("at least once a minute") << 9 << qint64(1000) << 3 << qint64(60);
        QTest::newRow("away for ever") << 100000 << qint64(1000) << 2 << qint64(60);
        QTest::newRow("at 10 s") << 5 << qint64(10000) << 3 << qint64(6);
        QTest::newRow("at a minute: every slot") << 5 << qint64(60000) << 3 << qint64(1);
        QTest::newRow("alone on its link") << 5 << qint64(1000) << 1 << qint64(1);
    }

    void backoff()
    {
        QFETCH(int, failures);
        QFETCH(qint64, periodMs);
        QFETCH(int, meters);
        QFETCH(qint64, gap);
        QCOMPARE(backoffSlots(failures, periodMs, meters), gap);
    }

    // The slots a meter is polled in, one of three at 1 s, when it answers
    // (a) or fails (f) each poll in turn: after it answers again, every
    // slot.
    void pollsOfOneMeter_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QList<qint64>>("polledSlots");
        QTest::newRow("always answers") << "aaa" << QList<qint64>{0, 1, 2};
        QTest::newRow("a glitch") << "afaa" << QList<qint64>{0, 1, 2, 3};
        QTest::newRow("dead") << "fffffff" << QList<qint64>{0, 1, 2, 4, 8, 16, 32};
        QTest::newRow("back after a while") << "ffffaa" << QList<qint64>{0, 1, 2, 4, 8, 9};
    }

    void pollsOfOneMeter()
    {
        QFETCH(QString, answers);
        QFETCH(QList<qint64>, polledSlots);
        MeterStanding meter;
        QList<qint64> polled;
        for (const QChar answer : answers) {
            polled << meter.dueSlot;
            meter = afterPoll(meter, meter.dueSlot, answer == QLatin1Char('a'), 20, 1000, 3);
        }
        QCOMPARE(polled, polledSlots);
        QCOMPARE(meter.exchangeMs, answers.contains(QLatin1Char('a')) ? qint64(20) : qint64(-1));
    }

    // Meters that answered go first, the failing ones after them, each in
    // the order of the settings; those not due, or left out, not at all.
    void slotOrder_data()
    {
        QTest::addColumn<QList<int>>("failures");
        QTest::addColumn<QList<qint64>>("due");
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("all well") << QList<int>{0, 0, 0} << QList<qint64>{0, 0, 0} << QList<int>{0, 1, 2};
        QTest::newRow("the first failing") << QList<int>{1, 0, 0} << QList<qint64>{0, 0, 0} << QList<int>{1, 2, 0};
        QTest::newRow("two failing") << QList<int>{2, 0, 1} << QList<qint64>{0, 0, 0} << QList<int>{1, 0, 2};
        QTest::newRow("one backed off") << QList<int>{0, 4, 0} << QList<qint64>{0, 9, 0} << QList<int>{0, 2};
        QTest::newRow("left out") << QList<int>{0, 0, -1} << QList<qint64>{0, 0, 0} << QList<int>{0, 1};
    }

    void slotOrder()
    {
        QFETCH(QList<int>, failures);
        QFETCH(QList<qint64>, due);
        QFETCH(QList<int>, order);
        std::vector<MeterStanding> meters(size_t(failures.size()));
        std::vector<bool> skip(meters.size());
        for (int m = 0; m < failures.size(); ++m) {
            meters[size_t(m)] = {qMax(failures[m], 0), due[m], -1};
            skip[size_t(m)] = failures[m] < 0;
        }
        QCOMPARE(::slotOrder(meters, skip, 5).toList(), order);
    }

    // What a poll may take of a 1 s slot with three meters on the link.
    void budget_data()
    {
        QTest::addColumn<qint64>("exchangeMs");   // of the meter, -1 before it answered
        QTest::addColumn<qint64>("leftMs");       // of the slot when it starts
        QTest::addColumn<QList<qint64>>("later"); // exchanges of the meters still to come
        QTest::addColumn<qint64>("budgetMs");
        QTest::newRow("first of the run") << qint64(-1) << qint64(950) << QList<qint64>{-1, -1} << qint64(318);
        QTest::newRow("first, the others known") << qint64(10) << qint64(950) << QList<qint64>{10, 20} << qint64(790);
        QTest::newRow("last: the rest of the slot") << qint64(10) << qint64(700) << QList<qint64>{} << qint64(700);
        QTest::newRow("slot overrun: its own need") << qint64(200) << qint64(100) << QList<qint64>{200} << qint64(450);
    }

    void budget()
    {
        QFETCH(qint64, exchangeMs);
        QFETCH(qint64, leftMs);
        QFETCH(QList<qint64>, later);
        QFETCH(qint64, budgetMs);
        qint64 laterNeed = 0;
        for (qint64 ms : later)
            laterNeed += meterNeedMs({0, 0, ms}, 1000, 3);
        QCOMPARE(pollBudgetMs(leftMs, laterNeed, meterNeedMs({0, 0, exchangeMs}, 1000, 3), 3), budgetMs);
        // Alone on its link, a meter has the links' full time-outs.
        QCOMPARE(pollBudgetMs(leftMs, laterNeed, 0, 1), qint64(-1));
    }

    // A poll that uses all of its slot still ends before the next begins.
    void slotLeft()
    {
        QCOMPARE(slotLeftMs(1000, 0, 1000), qint64(950));
        QCOMPARE(slotLeftMs(1000, 990, 1000), qint64(0));
        QCOMPARE(slotLeftMs(600000, 0, 600000), qint64(599950));
    }

    void linkFaults()
    {
        for (int code : {ComOpenFailed, ComPortNotOpen, ComSendFailed, ComConnectFailed, ComNotConnected})
            QVERIFY(isLinkFault(code));
        for (int code : {ComOk, ComTimeout, ComLengthError, ComReceiveError, ComCrcError})
            QVERIFY(!isLinkFault(code));
    }
};

ZEP_TEST_MAIN_CORE(TestPollPlan)
#include "tst_pollplan.moc"
