// What the reader could not read, through every view and sum: a missing
// value is no value and an unreadable time no time, never 0 or 2106.

#include "analysis/csvexport.h"
#include "analysis/powerreport.h"
#include "analysis/spanstatistics.h"
#include "data/datafiletestutil.h"
#include "data/localtimetext.h"
#include "testsupport.h"
#include "views/plot.h"
#include "views/recordtablemodel.h"
#include "views/timespan.h"

#include <qwt_plot_curve.h>

#include <QBuffer>

namespace {

constexpr int kRecords = 721; // two hours at 10 s, within every limit
constexpr int kHit = 302;     // mangled in the middle, at 50 Hz

uint32_t at(int i)
{
    return uint32_t(QDateTime(QDate(2026, 3, 1), QTime(8, 0)).toSecsSinceEpoch()) + uint32_t(i) * 10;
}

QByteArray dayBytes()
{
    QBuffer out;
    out.open(QIODevice::WriteOnly | QIODevice::Text);
    double v[kValueCount] = {220, 220, 220, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2000, 650, 2105, 0, 0, 1.5, 1.5, 1.5};
    for (int i = 0; i < kRecords; ++i) {
        v[15] = 0.95 + (i % 3) * 0.001;
        v[16] = 50 + (i % 5 - 2) * 0.01;
        v[29] = 1.5;
        writeRecord(out, at(i), v);
    }
    return out.data();
}

} // namespace

class TestUnreadable : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void throughEveryView_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<QList<int>>("missing"); // columns; 0: the time
        QList<int> lastLines; // head -c -300
        for (int c = 16; c <= kValueCount; ++c)
            lastLines << c;
        QTest::newRow("a record cut short") << kRecords - 1 << lastLines;
        QTest::newRow("a number that does not read") << kHit << QList<int>{17};
        QTest::newRow("a time that does not read") << kHit << QList<int>{0};
    }

    void throughEveryView()
    {
        QFETCH(int, record);
        QFETCH(QList<int>, missing);
        QByteArray bytes = dayBytes();
        const int hit = bytes.indexOf(localTimeText(at(kHit), QStringLiteral("yyyy/MM/dd hh:mm:ss")).toLatin1());
        if (record != kHit)
            bytes.chop(300);
        else if (missing.first() == 17)
            bytes.replace(bytes.indexOf(" FR  = ", hit) + 7, 6, "5O.000");
        else
            bytes.replace(hit, 19, "2026/13/45 99:99:99");
        const QString path = dir.filePath(QStringLiteral("mangled.txt"));
        QVERIFY(zeptest::writeBytes(path, bytes));
        const std::unique_ptr<DataFile> file = loadDataFile(path);
        QVERIFY(file && file->count == kRecords);
        const int samples = missing.first() == 0 ? kRecords - 1 : kRecords;

        const RecordTableModel table(file->records, int(file->count));
        for (int c : missing)
            QCOMPARE(table.text(record, c), c == 0 ? QStringLiteral("无效时间") : QString());
        // The plot spans the file, with no gap, and no curve reaches 0.
        const Plot plot(file->records, int(file->count), AppConfig.disp);
        QCOMPARE(plot.endTime(), at(kRecords - 1));
        const auto *frequency = static_cast<const TrendSeries *>(plot.curves().at(16)->data());
        QCOMPARE(frequency->breaks().gaps, std::vector<size_t>{});
        QCOMPARE(frequency->boundingRect().top(), double(49.98f));

        const SpanDecision span = decideSpan(*file, file->firstTime(), file->lastTime());
        const SpanStatistics stats = spanStatistics(file->records, span.first, span.last);
        QCOMPARE(stats.samples, samples);
        QCOMPARE(stats.minimum[15], 0.95f);
        QCOMPARE(stats.minimum[16], 49.98f);

        const PowerReport report = computePowerReport(file->records, span.first, span.last, span.start, span.end, {});
        QCOMPARE(report.overall, Verdict::Pass);
        QCOMPARE(report.gaps, 0);
        QCOMPARE(report.withoutTime, kRecords - samples);

        const QString csv = dir.filePath(QStringLiteral("mangled.csv"));
        QVERIFY(exportSpanCsv(*file, span, csv).ok());
        const QList<QByteArray> rows = zeptest::readBytes(csv).trimmed().split('\n');
        QCOMPARE(rows.size(), 1 + samples);
        for (int c : missing)
            QVERIFY(c == 0 || rows.at(1 + record).split(',').at(c).isEmpty());
    }
};

ZEP_TEST_MAIN(TestUnreadable)
#include "tst_unreadable.moc"
