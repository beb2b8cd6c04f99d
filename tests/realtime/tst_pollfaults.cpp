#include "realtime/pollfaults.h"
#include "coretesting.h"

class TestPollFaults : public QObject
{
    Q_OBJECT

private slots:
    void pollFaultSummary()
    {
        const QDateTime evening(QDate(2026, 5, 4), QTime(18, 0));
        QCOMPARE(::pollFaultSummary({3, evening.addSecs(-60)}, evening), QStringLiteral("通讯错误 3 次，最近 17:59:00"));
        QCOMPARE(::pollFaultSummary({1, evening.addDays(-1)}, evening), QStringLiteral("通讯错误 1 次，最近 2026-05-03 18:00:00"));
        QCOMPARE(::pollFaultSummary({39, evening.addSecs(-5), 656, 190}, evening),
                 QStringLiteral("通讯错误 39 次，漏采 190 次（29%），最近 17:59:55"));
        QCOMPARE(::pollFaultSummary({0, QDateTime(), 400, 12}, evening), QStringLiteral("漏采 12 次（3%）"));
    }
};

ZEP_TEST_MAIN_CORE(TestPollFaults)
#include "tst_pollfaults.moc"
