#include "data/datafile.h"
#include "data/datafiletestutil.h"
#include "realtime/dailyfiles.h"
#include "coretesting.h"

#include <sys/mount.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

// Local midnight at the start of 2025-01-06; the polls' times are the
// clock the files follow.
uint32_t midnight()
{
    return uint32_t(QDateTime(QDate(2025, 1, 6), QTime(0, 0)).toSecsSinceEpoch());
}

// "whole:N" (N records), "torn" (a record cut short) or "text".
QByteArray contentOf(const QString &kind)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const double values[kValueCount] = {};
    for (int i = 0; i < (kind == QLatin1String("torn") ? 2 : kind.section(QLatin1Char(':'), 1).toInt()); ++i)
        writeRecord(buffer, midnight() - 3600 + uint32_t(i), values);
    if (kind == QLatin1String("text"))
        return "notes\n";
    return kind == QLatin1String("torn") ? buffer.data().chopped(100) : buffer.data();
}

// The times of a file's records; none when one of them is incomplete.
QList<uint32_t> timesIn(const QString &path)
{
    QList<uint32_t> times;
    const std::unique_ptr<DataFile> file = loadDataFile(path);
    for (quint32 i = 0; file && file->incompleteRecords == 0 && i < file->count; ++i)
        times << file->records[i].time;
    return times;
}

struct Mounted {
    QString path;
    ~Mounted() { umount2(qPrintable(path), MNT_DETACH); }
};

} // namespace

class TestDailyFiles : public QObject
{
    Q_OBJECT

    enum Fault { DiskFull, FolderRemoved, FolderAway };

private slots:
    void filesOfTheDay_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("polls");
        // Every file afterwards and the polls it holds after what it held.
        QTest::addColumn<QStringList>("after");
        auto row = [](const char *name, const char *before, const char *polls, const char *after) {
            auto list = [](const char *text) { return QString(text).split(' ', Qt::SkipEmptyParts); };
            QTest::newRow(name) << list(before) << list(polls) << list(after);
        };
        row("midnight starts a file", "", "-2 -1 0 1", "ZEP_20250105.txt=2 ZEP_20250106.txt=2");
        row("whole file continued", "ZEP_20250106.txt=whole:3", "5 6", "ZEP_20250106.txt=2");
        row("torn file left alone", "ZEP_20250106.txt=torn", "5 6", "ZEP_20250106.txt=0 ZEP_20250106_2.txt=2");
        row("no data file", "ZEP_20250106.txt=text", "5", "ZEP_20250106.txt=0 ZEP_20250106_2.txt=1");
        row("latest part continued", "ZEP_20250106.txt=torn ZEP_20250106_2.txt=whole:1", "5 6",
            "ZEP_20250106.txt=0 ZEP_20250106_2.txt=2");
        row("latest part torn", "ZEP_20250106.txt=whole:1 ZEP_20250106_2.txt=torn", "5",
            "ZEP_20250106.txt=0 ZEP_20250106_2.txt=0 ZEP_20250106_3.txt=1");
        row("empty file continued", "ZEP_20250106.txt=whole:0", "5", "ZEP_20250106.txt=1");
    }

    void filesOfTheDay()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, polls);
        QFETCH(QStringList, after);
        QTemporaryDir dir;
        QMap<QString, QByteArray> earlier;
        for (const QString &file : before) {
            const QString name = file.section(QLatin1Char('='), 0, 0);
            earlier[name] = contentOf(file.section(QLatin1Char('='), 1));
            QVERIFY(zeptest::writeBytes(dir.filePath(name), earlier[name]));
        }
        int faults = 0;
        QList<uint32_t> expected;
        {
            DailyFiles daily(dir.path(), [&faults](const DailyFiles::Fault &) { ++faults; }, 0);
            for (const QString &t : polls) {
                expected << midnight() + uint32_t(t.toInt());
                daily.pollStored(expected.last(), SampleRecord{});
            }
            daily.runEnded();
        }
        QCOMPARE(faults, 0);
        QList<uint32_t> written;
        for (const QString &file : after) {
            const QString name = file.section(QLatin1Char('='), 0, 0);
            const QByteArray bytes = zeptest::readBytes(dir.filePath(name));
            const int added = file.section(QLatin1Char('='), 1).toInt();
            // What was there stays as it was, the new records after it.
            QVERIFY(added > 0 ? bytes.startsWith(earlier.value(name)) : bytes == earlier.value(name));
            const QList<uint32_t> times = timesIn(dir.filePath(name));
            written += times.mid(times.size() - added);
        }
        QCOMPARE(written, expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), after.size());
    }

    void failedWritesCatchUp_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("disk full") << int(DiskFull);
        QTest::newRow("folder removed") << int(FolderRemoved);
        QTest::newRow("stick pulled and put back") << int(FolderAway);
    }

    void failedWritesCatchUp()
    {
        QFETCH(int, fault);
        const bool fullDisk = fault == DiskFull;
        QTemporaryDir disk;
        const QString folder = disk.filePath(QStringLiteral("days"));
        const QString filler = disk.filePath(QStringLiteral("filler"));
        if (fullDisk && mount("tmpfs", qPrintable(disk.path()), "tmpfs", 0, "size=64k") != 0)
            QSKIP("no small file system to fill: mounting a tmpfs needs root");
        const Mounted mounted{fullDisk ? disk.path() : QString()};
        QVERIFY(QDir().mkpath(folder));
        QList<DailyFiles::Fault> faults;
        DailyFiles daily(folder, [&faults](const DailyFiles::Fault &f) { faults << f; }, 0);
        QList<uint32_t> polled;
        auto poll = [&] {
            polled << midnight() + uint32_t(polled.size());
            daily.pollStored(polled.last(), SampleRecord{});
        };
        poll();
        const QString away = disk.filePath(QStringLiteral("away"));
        if (fullDisk)
            std::ofstream(qPrintable(filler)) << std::string(1 << 20, 'x');
        else if (fault == FolderRemoved)
            QVERIFY(QDir(folder).removeRecursively());
        else
            QVERIFY(QDir().rename(folder, away));
        while (faults.isEmpty() && polled.size() < 200)
            poll();
        poll();
        QCOMPARE(faults.size(), 2);
        QCOMPARE(faults.last().time, polled.last());
        QVERIFY(fullDisk ? faults.last().reason == QStringLiteral("磁盘空间不足") : !faults.last().reason.isEmpty());
        QCOMPARE(daily.unwritten(), fullDisk ? 2 : polled.size() - 1);
        QVERIFY(!daily.allKept());

        if (fullDisk)
            QVERIFY(QFile::remove(filler));
        else
            QVERIFY(fault == FolderRemoved ? QDir().mkpath(folder) : QDir().rename(away, folder));
        poll();
        QCOMPARE(faults.size(), 2);
        QCOMPARE(daily.unwritten(), 0);
        QVERIFY(daily.allKept());
        // Every poll once, whole and in order, the first one also when its
        // file went with the removed folder.
        QCOMPARE(timesIn(QDir(folder).filePath(QStringLiteral("ZEP_20250106.txt"))), polled);
    }

    void vanishedFile_data()
    {
        QTest::addColumn<QString>("act");       // what befalls the day's file after three polls
        QTest::addColumn<QList<int>>("after");  // the polls after it, in seconds from midnight
        QTest::addColumn<QStringList>("files"); // each file then: the polls it holds, by index, or "other"
        QTest::addColumn<bool>("kept");         // at the end
        auto polls = [](const char *files) { return QString(files).split(' '); };
        QTest::newRow("deleted") << "delete" << QList<int>{3, 4} << polls("ZEP_20250106.txt=0-4") << true;
        QTest::newRow("moved away") << "move" << QList<int>{3, 4} << polls("ZEP_20250106.txt=0-4") << true;
        QTest::newRow("replaced by another file")
            << "replace" << QList<int>{3} << polls("ZEP_20250106.txt=other ZEP_20250106_2.txt=0-3") << true;
        QTest::newRow("deleted before midnight")
            << "delete" << QList<int>{86400, 86401} << polls("ZEP_20250106.txt=0-2 ZEP_20250107.txt=3-4") << true;
        QTest::newRow("folder removed, made again")
            << "remove folder" << QList<int>{3, 4, -1, 5} << polls("ZEP_20250106.txt=0-5") << true;
        QTest::newRow("folder removed for good") << "remove folder" << QList<int>{3, 4} << QStringList() << false;
    }

    // What a file that went away held is written again, before the polls
    // that follow; a poll counts as kept only while a file holds it. -1 in
    // after: the folder is made again.
    void vanishedFile()
    {
        QFETCH(QString, act);
        QFETCH(QList<int>, after);
        QFETCH(QStringList, files);
        QFETCH(bool, kept);
        QTemporaryDir disk;
        const QString folder = disk.filePath(QStringLiteral("days"));
        const QString day = QDir(folder).filePath(QStringLiteral("ZEP_20250106.txt"));
        QVERIFY(QDir().mkpath(folder));
        int faults = 0;
        QList<uint32_t> polled;
        QList<bool> recoveries;
        {
            DailyFiles daily(folder, [&faults](const DailyFiles::Fault &) { ++faults; }, 0);
            daily.setRecoveryReport([&recoveries](uint32_t, bool allKept) { recoveries << allKept; });
            for (int t : QList<int>{0, 1, 2} + after) {
                if (polled.size() == 3 && act == "remove folder")
                    QVERIFY(QDir(folder).removeRecursively());
                else if (polled.size() == 3 && act == "delete")
                    QVERIFY(QFile::remove(day));
                else if (polled.size() == 3 && act == "move")
                    QVERIFY(QFile::rename(day, disk.filePath(QStringLiteral("moved.txt"))));
                else if (polled.size() == 3 && act == "replace")
                    QVERIFY(zeptest::writeBytes(day + ".new", contentOf("whole:1")) && std::rename(qPrintable(day + ".new"), qPrintable(day)) == 0);
                if (t < 0) {
                    QVERIFY(!daily.allKept() && QDir().mkpath(folder));
                    continue;
                }
                polled << midnight() + uint32_t(t);
                daily.pollStored(polled.last(), SampleRecord{});
            }
            daily.runEnded();
            QCOMPARE(daily.allKept(), kept);
        }
        // The file gone, then one for each poll that found no folder, the
        // end's included.
        QCOMPARE(faults, act != "remove folder" ? 1 : kept ? 2 : 3);
        QCOMPARE(recoveries, kept ? QList<bool>{true} : QList<bool>{});
        for (const QString &file : files) {
            const QString which = file.section('=', 1);
            const int first = which.section('-', 0, 0).toInt(), last = which.section('-', 1).toInt();
            QCOMPARE(timesIn(QDir(folder).filePath(file.section('=', 0, 0))),
                     which == "other" ? QList<uint32_t>{midnight() - 3600} : polled.mid(first, last - first + 1));
        }
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.txt")}).size(), files.size());
    }

    void diskTrouble_data()
    {
        QTest::addColumn<bool>("mountPoint"); // the folder when the acquisition starts
        // Per poll: ok, pulled (the folder on the disk below), back (a mount
        // again, another device) or syncfail; the end as the last poll.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("unwritten"); // after each poll, then after the end
        QTest::addColumn<int>("faults");
        QTest::addColumn<QList<int>>("recovered"); // the polls whose write took everything again
        QTest::newRow("stick pulled, put back") << true << "ok pulled pulled ok" << QList<int>{0, 1, 2, 0, 0} << 2 << QList<int>{3};
        QTest::newRow("stick back as another device") << true << "ok pulled back" << QList<int>{0, 1, 0, 0} << 1 << QList<int>{2};
        QTest::newRow("disk mounted over the folder") << false << "ok back ok" << QList<int>{0, 1, 0, 0} << 1 << QList<int>{2};
        QTest::newRow("sync fails") << false << "ok syncfail syncfail ok" << QList<int>{0, 1, 2, 0, 0} << 2 << QList<int>{3};
        QTest::newRow("sync fails at the end") << false << "ok syncfail" << QList<int>{0, 1, 1} << 2 << QList<int>{};
    }

    // A folder no longer on its disk and a failed sync are failed writes:
    // counted, the polls kept until the disk takes them, then in the file
    // once each, in order.
    void diskTrouble()
    {
        QFETCH(bool, mountPoint);
        QFETCH(QString, steps);
        QFETCH(QList<int>, unwritten);
        QFETCH(int, faults);
        QFETCH(QList<int>, recovered);
        QTemporaryDir dir;
        QString step;
        const DiskAccess disk{[&](const QString &) {
                                  return FolderDevice{step == "pulled" ? 1u : step == "back" ? 9u : mountPoint ? 5u : 1u, 1, true};
                              },
                              [&](QFile &file) { return step == "syncfail" ? EIO : syncToDisk(file); }};
        QList<DailyFiles::Fault> seen;
        DailyFiles daily(dir.path(), [&seen](const DailyFiles::Fault &f) { seen << f; }, 0, disk);
        QList<uint32_t> polled;
        QList<int> recoveries; // the polls, by index
        daily.setRecoveryReport([&recoveries](uint32_t time, bool) { recoveries << int(time - midnight()); });
        QList<int> left;
        for (const QString &s : steps.split(' ')) {
            step = s;
            polled << midnight() + uint32_t(polled.size());
            daily.pollStored(polled.last(), SampleRecord{});
            left << daily.unwritten();
        }
        daily.runEnded();
        left << daily.unwritten();
        QCOMPARE(left, unwritten);
        QCOMPARE(seen.size(), faults);
        QCOMPARE(recoveries, recovered);
        QCOMPARE(seen.last().reason, steps.contains("sync") ? QString::fromLocal8Bit(strerror(EIO)) : "文件夹所在的磁盘不可用");
        QCOMPARE(timesIn(dir.filePath("ZEP_20250106.txt")), polled.mid(0, polled.size() - left.last()));
    }
};

ZEP_TEST_MAIN_CORE(TestDailyFiles)
#include "tst_dailyfiles.moc"
