// What the event log makes of a meter, a link or a disk that fails again and
// again: a line where a run of failures begins and one where it ends.

#include "comm/failureruns.h"
#include "coretesting.h"

class TestFailureRuns : public QObject
{
    Q_OBJECT

private slots:
    void foldedIntoRuns_data()
    {
        QTest::addColumn<QString>("kind");
        // One event a second from start: F a failure (of the link with L),
        // A what failed works again, S the stop, . nothing.
        QTest::addColumn<QString>("events");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QStringList>("lines");
        const QTime ten(10, 0);
        QTest::newRow("answering") << "poll" << "AAAS" << ten << QStringList{};
        QTest::newRow("one failure")
            << "poll" << "AFA" << ten
            << QStringList{"10:00:01 通讯失败：通讯超时", "10:00:02 恢复通讯，此前失败 1 次（10:00:01）"};
        QTest::newRow("a run, then another")
            << "poll" << "FFF.AFA" << ten
            << QStringList{"10:00:00 通讯失败：通讯超时", "10:00:04 恢复通讯，此前失败 3 次（10:00:00 至 10:00:02）",
                           "10:00:05 通讯失败：通讯超时", "10:00:06 恢复通讯，此前失败 1 次（10:00:05）"};
        QTest::newRow("still failing at the stop, then a new run")
            << "poll" << "AFFSFA" << ten
            << QStringList{"10:00:01 通讯失败：通讯超时", "10:00:03 停止采集时仍无应答，此前失败 2 次（10:00:01 至 10:00:02）",
                           "10:00:04 通讯失败：通讯超时", "10:00:05 恢复通讯，此前失败 1 次（10:00:04）"};
        QTest::newRow("across midnight")
            << "poll" << "FFFA" << QTime(23, 59, 58)
            << QStringList{"23:59:58 通讯失败：通讯超时", "00:00:01 恢复通讯，此前失败 3 次（2025-01-06 23:59:58 至 00:00:00）"};
        QTest::newRow("two meters, each its run")
            << "poll" << "FLAS" << ten
            << QStringList{"10:00:00 通讯失败：通讯超时", "10:00:01 通讯失败：通讯超时",
                           "10:00:02 恢复通讯，此前失败 1 次（10:00:00）",
                           "10:00:03 停止采集时仍无应答，此前失败 1 次（10:00:01）"};
        QTest::newRow("the link back, an address with %1")
            << "link" << "FFA" << ten
            << QStringList{"10:00:00 连接失败：通讯超时", "10:00:02 连接已打开：[fe80::1%1]:502，此前失败 2 次（10:00:00 至 10:00:01）"};
        QTest::newRow("the disk back") << "save" << "FFA" << ten
                                       << QStringList{"10:00:00 保存错误：通讯超时",
                                                      "10:00:02 保存恢复，此前失败 2 次（10:00:00 至 10:00:01）"};
    }

    void foldedIntoRuns()
    {
        QFETCH(QString, kind);
        QFETCH(QString, events);
        QFETCH(QTime, start);
        QFETCH(QStringList, lines);
        FailureRuns runs(kind == "link" ? linkRunTexts("[fe80::1%1]:502") : kind == "save" ? saveRunTexts() : pollRunTexts());
        QStringList seen;
        const QDateTime first(QDate(2025, 1, 6), start);
        for (int i = 0; i < events.size(); ++i) {
            const QDateTime when = first.addSecs(i);
            const QString at = when.toString("hh:mm:ss ");
            // L stands for a second meter; A answers for the first.
            const int what = events[i] == 'L' ? 1 : 0;
            QString line;
            if (events[i] == 'F' || events[i] == 'L')
                line = runs.failed(what, when, QStringLiteral("通讯超时"));
            else if (events[i] == 'A')
                line = runs.worked(0, when);
            else if (events[i] == 'S')
                for (const std::pair<int, QString> &l : runs.stopped(when))
                    seen << at + l.second;
            if (!line.isEmpty())
                seen << at + line;
        }
        QCOMPARE(seen, lines);
    }
};

ZEP_TEST_MAIN_CORE(TestFailureRuns)
#include "tst_failureruns.moc"
