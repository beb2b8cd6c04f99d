// The serial link's faults that can only show after its 3-second time-out.
// Block A is answered and block B's two attempts fail, which shows the code
// with two time-outs instead of three.

#include "comm/comerror.h"
#include "comm/master.h"
#include "linktesting.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QElapsedTimer>

class TestMasterTimeouts : public QObject
{
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("replyBytes");   // what each failed attempt reports, -1: no reply report
        QTest::newRow("silent") << "silent" << int(ComTimeout) << -1;
        // A partial reply is taken at the time-out and is of the wrong length.
        QTest::newRow("one byte short") << "short" << int(ComLengthError) << 60;
        QTest::newRow("exception reply") << "exception" << int(ComLengthError) << 5;
    }

    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(int, replyBytes);
        SimProcess sim;
        QVERIFY(sim.startRtu({"--fault", fault, "--fault-on", "2,3"}));
        Master master(serialConfig(sim.linkPath));
        QCOMPARE(master.openPort(), int(ComOk));
        QElapsedTimer timer;
        timer.start();
        const PollResult r = pollOnce(master);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(r.code, code);
        QCOMPARE(r.requestedBlocks(false), QStringLiteral("ABB"));
        // Two time-outs of 3 s: no less, and not much more.
        QVERIFY2(elapsed >= 2 * 3000 - 50 && elapsed < 2 * 3000 + 1000, qPrintable(QString::number(elapsed)));
        QStringList failed = r.reports.mid(2);
        if (replyBytes < 0) {
            QCOMPARE(failed.size(), 2);
        } else {
            QCOMPARE(failed.size(), 4);
            QCOMPARE(reportBytes(failed[1]).size(), replyBytes);
            QCOMPARE(reportBytes(failed[3]).size(), replyBytes);
        }
        for (int k = 18; k < kPollBufferSize; ++k)
            QCOMPARE(r.values[k], kUntouched);
    }
};

ZEP_TEST_MAIN_CORE(TestMasterTimeouts)
#include "tst_master_timeouts.moc"
