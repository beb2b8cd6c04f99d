// The log on disk: each line in the file of its day and folder, one line of
// three fields whatever the text, and lines kept while their folder is gone.

#include "coretesting.h"
#include "data/datafiletestutil.h"
#include "realtime/eventlog.h"

class TestEventLog : public QObject
{
    Q_OBJECT

    static QStringList linesOf(const QString &path) { return QString::fromUtf8(zeptest::readBytes(path)).split('\n'); }

private slots:
    void linesWaitForTheirFolder()
    {
        QTemporaryDir disk;
        const QString folder = disk.filePath(QStringLiteral("days"));
        QVERIFY(QDir().mkpath(folder));
        EventLog log;
        log.setFolder(folder);
        const QDateTime t(QDate(2025, 1, 6), QTime(23, 59, 59));
        log.append({t, QString(), QStringLiteral("开始采集")});
        log.append({t.addSecs(1), QStringLiteral("空\t调"), QStringLiteral("通讯失败：\r\n通讯超时")}, QStringLiteral("7-空调"));
        QVERIFY(log.flush(5000));
        QCOMPARE(linesOf(QDir(folder).filePath("ZEP_20250106.log")), QStringList({"2025-01-06 23:59:59.000\t\t开始采集", ""}));
        const QString meterLog = QDir(folder).filePath("7-空调/ZEP_20250107.log");
        QCOMPARE(linesOf(meterLog), QStringList({"2025-01-07 00:00:00.000\t空 调\t通讯失败：  通讯超时", ""}));
        EventLine read;
        QVERIFY(EventLine::parse(linesOf(meterLog).first(), &read));
        QCOMPARE(read.time, t.addSecs(1));
        QCOMPARE(read.meter + read.text, QStringLiteral("空 调通讯失败：  通讯超时"));

        // A stick pulled: its folder is not made again on the disk below.
        QVERIFY(QDir(folder).removeRecursively());
        log.append({t.addSecs(2), QString(), QStringLiteral("停止采集")});
        log.append({t.addSecs(3), QString(), QStringLiteral("数据转发：已停止")});
        QVERIFY(log.flush(5000));
        QCOMPARE(log.held(), 2);
        QVERIFY(!QDir(folder).exists());
        QVERIFY(QDir().mkpath(folder));
        log.append({t.addSecs(4), QString(), QStringLiteral("开始采集")});
        QVERIFY(log.flush(5000));
        QCOMPARE(log.held(), 0);
        QStringList texts;
        for (const EventLine &line : readEventLogs({QDir(folder).filePath("ZEP_20250107.log"), meterLog}))
            texts << line.text;
        QCOMPARE(texts, QStringList({"停止采集", "数据转发：已停止", "开始采集"}));
    }
};

ZEP_TEST_MAIN_CORE(TestEventLog)
#include "tst_eventlog.moc"
