#include "data/datafile.h"
#include "data/datafiletestutil.h"
#include "realtime/dailyfiles.h"
#include "testsupport.h"

#include <sys/mount.h>

#include <fstream>

namespace {

// Local midnight at the start of 2025-01-06; the polls' times are the
// clock the files follow.
uint32_t midnight()
{
    return uint32_t(QDateTime(QDate(2025, 1, 6), QTime(0, 0)).toSecsSinceEpoch());
}

SampleRecord pollAt(int i)
{
    SampleRecord poll{};
    for (int k = 1; k <= kValueCount; ++k)
        poll.setValue(k, float(zeptest::sampleValue(i, k)));
    return poll;
}

// "name=whole:N" (N records), "name=torn" (a record cut short), "name=text".
QByteArray contentOf(const QString &kind)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const double values[kValueCount] = {1.0};
    const int records = kind == QLatin1String("torn") ? 2 : kind.section(QLatin1Char(':'), 1).toInt();
    for (int i = 0; i < records; ++i)
        writeRecord(buffer, midnight() - 3600 + uint32_t(i), values);
    if (kind == QLatin1String("text"))
        return "notes\n";
    return kind == QLatin1String("torn") ? buffer.data().chopped(100) : buffer.data();
}

QList<uint32_t> timesIn(const QString &path)
{
    QList<uint32_t> times;
    const std::unique_ptr<DataFile> file = loadDataFile(path);
    for (quint32 i = 0; file && i < file->count; ++i)
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
        QTest::addColumn<QList<int>>("polls");
        // Every file afterwards and the polls it holds after what it held.
        QTest::addColumn<QStringList>("after");
        QTest::newRow("midnight starts a file") << QStringList() << QList<int>{-2, -1, 0, 1}
                                               << QStringList{"ZEP_20250105.txt=2", "ZEP_20250106.txt=2"};
        QTest::newRow("whole file continued") << QStringList{"ZEP_20250106.txt=whole:3"} << QList<int>{5, 6}
                                              << QStringList{"ZEP_20250106.txt=2"};
        QTest::newRow("torn file left alone") << QStringList{"ZEP_20250106.txt=torn"} << QList<int>{5, 6}
                                              << QStringList{"ZEP_20250106.txt=0", "ZEP_20250106_2.txt=2"};
        QTest::newRow("no data file") << QStringList{"ZEP_20250106.txt=text"} << QList<int>{5}
                                      << QStringList{"ZEP_20250106.txt=0", "ZEP_20250106_2.txt=1"};
        QTest::newRow("latest part continued")
            << QStringList{"ZEP_20250106.txt=torn", "ZEP_20250106_2.txt=whole:1"} << QList<int>{5, 6}
            << QStringList{"ZEP_20250106.txt=0", "ZEP_20250106_2.txt=2"};
        QTest::newRow("latest part torn")
            << QStringList{"ZEP_20250106.txt=whole:1", "ZEP_20250106_2.txt=torn"} << QList<int>{5}
            << QStringList{"ZEP_20250106.txt=0", "ZEP_20250106_2.txt=0", "ZEP_20250106_3.txt=1"};
        QTest::newRow("empty file continued") << QStringList{"ZEP_20250106.txt=whole:0"} << QList<int>{5}
                                              << QStringList{"ZEP_20250106.txt=1"};
    }

    void filesOfTheDay()
    {
        QFETCH(QStringList, before);
        QFETCH(QList<int>, polls);
        QFETCH(QStringList, after);
        QTemporaryDir dir;
        QMap<QString, QByteArray> earlier;
        for (const QString &file : before) {
            const QString name = file.section(QLatin1Char('='), 0, 0);
            earlier[name] = contentOf(file.section(QLatin1Char('='), 1));
            QVERIFY(zeptest::writeBytes(dir.filePath(name), earlier[name]));
        }
        int faults = 0;
        {
            DailyFiles daily(dir.path(), [&faults](const DailyFiles::Fault &) { ++faults; }, 0);
            for (int i = 0; i < polls.size(); ++i)
                daily.pollStored(midnight() + uint32_t(polls[i]), pollAt(i));
            daily.runEnded();
        }
        QCOMPARE(faults, 0);
        QList<uint32_t> written;
        for (const QString &file : after) {
            const QString name = file.section(QLatin1Char('='), 0, 0);
            const QByteArray bytes = zeptest::readBytes(dir.filePath(name));
            // What was there stays as it was, the new records after it.
            QVERIFY(bytes.startsWith(earlier.value(name)));
            const QList<uint32_t> times = timesIn(dir.filePath(name));
            const int added = file.section(QLatin1Char('='), 1).toInt();
            if (added == 0)
                QCOMPARE(bytes, earlier.value(name));
            else
                written += times.mid(times.size() - added);
        }
        QList<uint32_t> expected;
        for (int t : polls)
            expected << midnight() + uint32_t(t);
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
            daily.pollStored(polled.last(), pollAt(polled.size()));
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
        QVERIFY(!faults.last().reason.isEmpty());
        QCOMPARE(daily.unwritten(), fullDisk ? 2 : polled.size() - 1);

        if (fullDisk)
            QVERIFY(QFile::remove(filler));
        else
            QVERIFY(fault == FolderRemoved ? QDir().mkpath(folder) : QDir().rename(away, folder));
        poll();
        QCOMPARE(faults.size(), 2);
        QCOMPARE(daily.unwritten(), 0);
        const std::unique_ptr<DataFile> file = loadDataFile(QDir(folder).filePath(QStringLiteral("ZEP_20250106.txt")));
        QVERIFY(file);
        QCOMPARE(file->incompleteRecords, 0u);
        // Every poll once, in order; the first went with the removed folder.
        QList<uint32_t> times;
        for (quint32 i = 0; i < file->count; ++i)
            times << file->records[i].time;
        QCOMPARE(times, fault == FolderRemoved ? polled.mid(1) : polled);
    }
};

ZEP_TEST_MAIN_CORE(TestDailyFiles)
#include "tst_dailyfiles.moc"
