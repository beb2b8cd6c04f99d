#include "data/datamerge.h"
#include "datafiletestutil.h"
#include "coretesting.h"
#include "data/energy.h"

#include <unistd.h>

namespace {

const uint32_t kBase = 1736121600u;

// Writes "name:t,t,..." (times after kBase; UA tells the file apart),
// "name:!" (text that is no data file), "name:#t,..." (the records after
// more text than a data file starts with) or "name=other" (a hard link to
// other) into dir.
void writeFiles(const QDir &dir, const QStringList &files)
{
    for (int n = 0; n < files.size(); ++n) {
        if (files.at(n).contains(QLatin1Char('='))) {
            const QStringList names = files.at(n).split(QLatin1Char('='));
            QCOMPARE(::link(qPrintable(dir.filePath(names.at(1))), qPrintable(dir.filePath(names.at(0)))), 0);
            continue;
        }
        QStringList parts = files.at(n).split(QLatin1Char(':'));
        QFile file(dir.filePath(parts.at(0)));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        const bool junk = parts.at(1) == QLatin1String("!");
        file.write(junk ? "no records here\n" : "");
        if (parts.at(1).startsWith(QLatin1Char('#'))) {
            file.write(QByteArray(kFirstRecordWithin, 'x') + '\n');
            parts[1].remove(0, 1);
        }
        const double values[kValueCount] = {double(n)};
        for (const QString &t : junk ? QStringList() : parts.at(1).split(QLatin1Char(',')))
            writeRecord(file, kBase + t.toUInt(), values);
    }
}

} // namespace

class TestDataMerge : public QObject
{
    Q_OBJECT

private slots:
    void merge_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("picked");
        // Each record as the letter of its file and its time.
        QTest::addColumn<QString>("records");
        QTest::addColumn<QString>("refused");
        auto row = [](const char *name, const char *files, const char *picked, const char *records,
                      const char *refused) {
            QTest::newRow(name) << QString(files).split(' ') << QString(picked).split(' ') << records << refused;
        };
        row("days in order", "a.txt:0,1,2 b.txt:10,11 c.txt:20", "a.txt b.txt c.txt", "a0 a1 a2 b10 b11 c20", "");
        row("picked in any order", "a.txt:0,1,2 b.txt:10,11 c.txt:20", "c.txt a.txt b.txt", "a0 a1 a2 b10 b11 c20", "");
        row("overlapping", "a.txt:0,10,20,30 b.txt:5,15,25", "b.txt a.txt", "a0 b5 a10 b15 a20 b25 a30", "");
        row("one inside another", "a.txt:0,100 b.txt:10,20,30 c.txt:50,200", "a.txt b.txt c.txt",
            "a0 b10 b20 b30 c50 a100 c200", "");
        row("duplicated records in pick order", "a.txt:0,10 b.txt:0,10", "b.txt a.txt", "b0 a0 b10 a10", "");
        row("one file picked twice", "a.txt:0,1 b.txt:5", "a.txt b.txt sub/../a.txt a.txt", "a0 a1 b5", "");
        row("clock set back in a file, kept whole", "a.txt:0,20,10 b.txt:5", "a.txt b.txt", "a0 a20 a10 b5", "");
        row("after a file whose clock went back", "a.txt:0,20,10 b.txt:15,30 c.txt:25", "a.txt b.txt c.txt",
            "a0 a20 a10 b15 c25 b30", "");
        row("a hard link is the same file", "a.txt:0,1 b.txt:5 link.txt=a.txt", "link.txt b.txt a.txt", "a0 a1 b5", "");
        row("records only past the first bytes", "a.txt:0 big.txt:#3", "a.txt big.txt", "a0", "big.txt:2");
        row("unreadable files left out", "a.txt:0 junk.txt:! b.txt:3", "gone.txt a.txt junk.txt sub b.txt", "a0 b3",
            "gone.txt:1 junk.txt:2 sub:2");
        row("none readable", "junk.txt:!", "junk.txt gone.txt gone.txt", "", "junk.txt:2 gone.txt:1");
    }

    void merge()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, picked);
        QFETCH(QString, records);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        writeFiles(QDir(dir.path()), files);
        QStringList paths;
        for (const QString &name : picked)
            paths << dir.filePath(name);
        const MergePlan plan = planMerge(paths);
        QList<OpenFailure> left = plan.refused;
        const std::unique_ptr<DataFile> merged = plan.sources.isEmpty() ? nullptr : loadMerged(plan, QStringLiteral("m"), &left);
        QStringList got;
        for (quint32 i = 0; merged && i < merged->count; ++i)
            got << files.at(int(merged->records[i].value(1))).left(1) + QString::number(merged->records[i].time - kBase);
        QCOMPARE(got.join(QLatin1Char(' ')), records);
        QStringList why;
        for (const OpenFailure &r : left)
            why << QDir(dir.path()).relativeFilePath(r.path) + QLatin1Char(':') + QString::number(int(r.failure));
        QCOMPARE(why.join(QLatin1Char(' ')), refused);
        if (merged)
            QCOMPARE(merged->sources, plan.sources);
    }

    // A day file and the next one, opened as one: the day's records stand
    // in the merged document as they stand alone, so they give the same
    // energy and the same gaps.
    void mergedAsAlone_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("setBack"); // seconds the clock goes back at noon
        QTest::addColumn<double>("kWh"); // 1 kW, a sample a minute
        QTest::newRow("an ordinary day") << QDate(2025, 3, 4) << 0 << 23.983;
        // The repeated hour reads as the first: back an hour, then a gap.
        QTest::newRow("the autumn change, 25 hours") << QDate(2025, 10, 26) << 0 << 24.950;
        QTest::newRow("the spring change, 23 hours") << QDate(2025, 3, 30) << 0 << 22.983;
        QTest::newRow("a clock set back 600 s") << QDate(2025, 3, 4) << 600 << 24.133;
    }

    void mergedAsAlone()
    {
        QFETCH(QDate, day);
        QFETCH(int, setBack);
        QFETCH(double, kWh);
        zeptest::useZone("Europe/Berlin");
        QTemporaryDir dir;
        const QStringList files{dir.filePath(QStringLiteral("day.txt")), dir.filePath(QStringLiteral("next.txt"))};
        const double values[kValueCount] = {220, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1000};
        const qint64 midnight = QDateTime(day, QTime(0, 0)).toSecsSinceEpoch();
        const qint64 next = QDateTime(day.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
        for (int f = 0; f < 2; ++f) {
            QFile file(files[f]);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
            for (qint64 t = f ? next : midnight; t < (f ? next + 6 * 3600 : next + setBack); t += 60)
                writeRecord(file, uint32_t(t - (!f && t >= midnight + 12 * 3600 + setBack ? setBack : 0)), values);
        }
        const std::unique_ptr<DataFile> alone = loadDataFile(files[0]);
        QList<OpenFailure> refused;
        const auto merged = loadMerged(planMerge({files[1], files[0]}), QStringLiteral("m"), &refused);
        QVERIFY(alone && merged);
        const int bytes = int(alone->count * sizeof(SampleRecord));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(merged->records), bytes),
                 QByteArray(reinterpret_cast<const char *>(alone->records), bytes));
        QVERIFY(qAbs(kilowattHours(integrateEnergy(merged->records, alone->count).imported) - kWh) < 1e-3);
    }
};

ZEP_TEST_MAIN_CORE(TestDataMerge)
#include "tst_datamerge.moc"
