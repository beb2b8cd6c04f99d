// Records the reader could not read whole, as every view and sum sees them:
// a missing value is no value and a time that did not read is no time,
// never a 0 or a moment in 2106.

#include "analysis/csvexport.h"
#include "analysis/powerreport.h"
#include "analysis/spanstatistics.h"
#include "data/datafiletestutil.h"
#include "testsupport.h"
#include "views/plot.h"
#include "views/recordtablemodel.h"
#include "views/timespan.h"

#include <qwt_plot_curve.h>

#include <QBuffer>

namespace {

constexpr int kRecords = 721; // two hours at 10 s
constexpr int kHit = 302;     // the record mangled in the middle, at 50 Hz

uint32_t startTime()
{
    return uint32_t(QDateTime(QDate(2026, 3, 1), QTime(8, 0)).toSecsSinceEpoch());
}

// A supply within every limit: 220 V, 50 Hz, power factor 0.95.
QByteArray dayBytes()
{
    QBuffer out;
    out.open(QIODevice::WriteOnly | QIODevice::Text);
    double v[kValueCount] = {};
    for (int i = 0; i < kRecords; ++i) {
        for (int k : {1, 2, 3})
            v[k - 1] = 220 + (i % 7) * 0.1;
        v[12] = 2000;
        v[13] = 650;
        v[14] = 2105;
        v[15] = 0.95 + (i % 3) * 0.001;
        v[16] = 50 + (i % 5 - 2) * 0.01;
        for (int k : {18, 19, 20, 30})
            v[k - 1] = 1.5;
        writeRecord(out, startTime() + uint32_t(i) * 10, v);
    }
    return out.data();
}

// Where record i starts in the written bytes.
int recordAt(const QByteArray &bytes, int i)
{
    int at = 0;
    for (int n = 0; n < i; ++n)
        at = bytes.indexOf("\n2026/", at) + 1;
    return at;
}

} // namespace

class TestUnreadable : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void throughEveryView_data()
    {
        QTest::addColumn<QString>("mangling");
        QTest::addColumn<int>("record");
        QTest::addColumn<QList<int>>("missing"); // columns; 0: the time
        QList<int> lastLines;
        for (int c = 16; c <= kValueCount; ++c)
            lastLines << c;
        QTest::newRow("a record cut short") << "cut" << kRecords - 1 << lastLines;
        QTest::newRow("a number that does not read") << "number" << kHit << QList<int>{17};
        QTest::newRow("a time that does not read") << "time" << kHit << QList<int>{0};
    }

    void throughEveryView()
    {
        QFETCH(QString, mangling);
        QFETCH(int, record);
        QFETCH(QList<int>, missing);
        QByteArray bytes = dayBytes();
        const int at = recordAt(bytes, kHit);
        if (mangling == QLatin1String("cut"))
            bytes.chop(300);
        else if (mangling == QLatin1String("number"))
            bytes.replace(bytes.indexOf(" FR  = ", at) + 7, 6, "5O.000");
        else
            bytes.replace(at, 19, "2026/13/45 99:99:99");
        const QString path = dir.filePath(QStringLiteral("mangled.txt"));
        QVERIFY(zeptest::writeBytes(path, bytes));
        const std::unique_ptr<DataFile> file = loadDataFile(path);
        QVERIFY(file);
        QCOMPARE(int(file->count), kRecords);
        const bool noTime = missing == QList<int>{0};

        // The table: an empty cell, or the time as unreadable.
        const RecordTableModel table(file->records, int(file->count));
        for (int c = 0; c < kColumnCount; ++c) {
            const QString text = table.text(record, c);
            if (!missing.contains(c))
                QVERIFY2(!text.isEmpty() && !text.startsWith(QLatin1String("2106")), qPrintable(text));
            else
                QCOMPARE(text, c == 0 ? QStringLiteral("无效时间") : QString());
        }

        // The plot: its span is the file's, with no gap; no curve reaches 0.
        const Plot plot(file->records, int(file->count), AppConfig.disp);
        QCOMPARE(plot.startTime(), startTime());
        QCOMPARE(plot.endTime(), startTime() + uint32_t(kRecords - 1) * 10);
        const auto *frequency = static_cast<const TrendSeries *>(plot.curves().at(16)->data());
        QCOMPARE(frequency->breaks().gaps, std::vector<size_t>{});
        QCOMPARE(frequency->boundingRect().top(), double(49.98f));

        // Statistics: the lowest frequency and power factor are the
        // supply's.
        const SpanDecision span = decideSpan(*file, file->firstTime(), file->lastTime());
        QVERIFY(span.ok());
        const SpanStatistics stats = spanStatistics(file->records, span.first, span.last);
        QCOMPARE(stats.samples, noTime ? kRecords - 1 : kRecords);
        QCOMPARE(stats.minimum[16 - 1], 0.95f);
        QCOMPARE(stats.minimum[17 - 1], 49.98f);

        // The report: all within limits, the unreadable time counted.
        const PowerReport report =
            computePowerReport(file->records, span.first, span.last, span.start, span.end, ReportOptions{});
        QCOMPARE(report.overall, Verdict::Pass);
        QCOMPARE(report.quality[3].passRate(), 1.0);
        QCOMPARE(report.gaps, 0);
        QCOMPARE(report.withoutTime, noTime ? 1 : 0);

        // The CSV: an empty field, or no row for the record without a time.
        const QString csv = dir.filePath(QStringLiteral("mangled.csv"));
        QVERIFY(exportSpanCsv(*file, span, csv).ok());
        const QList<QByteArray> rows = zeptest::readBytes(csv).trimmed().split('\n');
        QCOMPARE(rows.size(), 1 + (noTime ? kRecords - 1 : kRecords));
        if (!noTime) {
            const QList<QByteArray> cells = rows.at(1 + record).split(',');
            for (int c : missing)
                QCOMPARE(cells.at(c), QByteArray());
        }
    }
};

ZEP_TEST_MAIN(TestUnreadable)
#include "tst_unreadable.moc"
