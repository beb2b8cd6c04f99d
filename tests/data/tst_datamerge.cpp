#include "data/datamerge.h"
#include "datafiletestutil.h"
#include "coretesting.h"

namespace {

const uint32_t kBase = 1736121600u;

// Writes "name:t,t,..." (times after kBase; UA tells the file apart) or
// "name:!" (text that is no data file) into dir.
void writeFiles(const QDir &dir, const QStringList &files)
{
    for (int n = 0; n < files.size(); ++n) {
        const QStringList parts = files.at(n).split(QLatin1Char(':'));
        QFile file(dir.filePath(parts.at(0)));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        const bool junk = parts.at(1) == QLatin1String("!");
        file.write(junk ? "no records here\n" : "");
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
        row("clock set back in a file", "a.txt:0,20,10 b.txt:5", "a.txt b.txt", "a0 b5 a10 a20", "");
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
};

ZEP_TEST_MAIN_CORE(TestDataMerge)
#include "tst_datamerge.moc"
