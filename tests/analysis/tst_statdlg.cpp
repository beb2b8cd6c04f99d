#include "analysis/spanstatistics.h"
#include "analysis/statdlg.h"
#include "data/datafile.h"
#include "views/timespan.h"
#include "testsupport.h"

#include <QClipboard>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimeEdit>

#include <vector>

namespace {

// 2018-04-20 15:30:20 local time, the first sample of the test files.
uint32_t t0()
{
    return uint32_t(QDateTime(QDate(2018, 4, 20), QTime(15, 30, 20)).toSecsSinceEpoch());
}

// Samples 10 s apart, then a gap of an hour before the last one; value of
// column k at record i is 100 * k + i.
std::unique_ptr<DataFile> testFile(int count = 5)
{
    auto file = std::make_unique<DataFile>(QStringLiteral("stat.txt"), quint32(count));
    for (int i = 0; i < count; ++i) {
        file->records[i].time = t0() + uint32_t(10 * i) + (i == count - 1 ? 3600u : 0u);
        for (int k = 1; k <= kValueCount; ++k)
            file->records[i].setValue(k, float(100 * k + i));
    }
    return file;
}

} // namespace

class TestStatDlg : public QObject
{
    Q_OBJECT

    template <typename T>
    static T *child(QWidget *dlg, const char *name)
    {
        return dlg->findChild<T *>(QLatin1String(name));
    }

    static void setSpan(QWidget *dlg, uint32_t start, uint32_t end)
    {
        setEditsTime(child<QDateEdit>(dlg, "dateEdit_start"), child<QTimeEdit>(dlg, "timeEdit_start"), start);
        setEditsTime(child<QDateEdit>(dlg, "dateEdit_end"), child<QTimeEdit>(dlg, "timeEdit_end"), end);
    }

    static QAbstractItemModel *results(QWidget *dlg) { return child<QTableView>(dlg, "tableView")->model(); }

    static QString cell(QWidget *dlg, int row, int column)
    {
        return results(dlg)->index(row, column).data().toString();
    }

private slots:
    void statistics_data()
    {
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<float>("minimum");
        QTest::addColumn<float>("maximum");
        QTest::addColumn<float>("average");
        const QList<float> v{3, -1, 7, 2};
        QTest::newRow("one sample") << v << 2 << 2 << 7.0f << 7.0f << 7.0f;
        QTest::newRow("whole file") << v << 0 << 3 << -1.0f << 7.0f << 2.75f;
        QTest::newRow("minimum at the start") << QList<float>{-5, 1, 2} << 0 << 2 << -5.0f << 2.0f << float(-2.0 / 3);
        QTest::newRow("maximum at the end") << QList<float>{1, 2, 9} << 0 << 2 << 1.0f << 9.0f << 4.0f;
        // A float sum would drop the ones next to 2^24.
        QTest::newRow("sum in double") << QList<float>{16777216, 1, 1, 1} << 0 << 3 << 1.0f << 16777216.0f
                                       << float((16777216.0 + 3) / 4);
        QTest::newRow("average rounded to single precision")
            << QList<float>{0.1f, 0.2f} << 0 << 1 << 0.1f << 0.2f << float((double(0.1f) + double(0.2f)) / 2);
    }

    void statistics()
    {
        QFETCH(QList<float>, values);
        QFETCH(int, first);
        QFETCH(int, last);
        std::vector<SampleRecord> records(size_t(values.size()), SampleRecord{});
        for (int i = 0; i < values.size(); ++i) {
            for (int k = 1; k <= kValueCount; ++k)
                records[size_t(i)].setValue(k, k == 31 ? -values[i] : values[i]);
        }
        const SpanStatistics s = spanStatistics(records.data(), first, last);
        QCOMPARE(s.samples, last - first + 1);
        QTEST(s.minimum[0], "minimum");
        QTEST(s.maximum[15], "maximum");
        QTEST(s.average[29], "average");
        // The last quantity holds the negated values: its extremes swap.
        QFETCH(float, minimum);
        QFETCH(float, maximum);
        QCOMPARE(s.minimum[30], -maximum);
        QCOMPARE(s.maximum[30], -minimum);
    }

    void progress_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("seven") << 7;
        QTest::newRow("a thousand and one") << 1001;
    }

    void progress()
    {
        QFETCH(int, count);
        std::vector<SampleRecord> records(size_t(count), SampleRecord{});
        QList<int> seen;
        spanStatistics(records.data(), 0, count - 1, [&seen](int percent) { seen << percent; });
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last(), 100);
        QCOMPARE(seen.first(), count == 1 ? 100 : 0);
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i] > seen[i - 1]);
        if (count > 100)
            QCOMPARE(seen.size(), 101);
    }

    void emptySpanComputesNothing()
    {
        SampleRecord r{};
        int calls = 0;
        const SpanStatistics s = spanStatistics(&r, 1, 0, [&calls](int) { ++calls; });
        QCOMPARE(s.samples, 0);
        QCOMPARE(calls, 0);
    }

    void freshDialog()
    {
        auto file = testFile();
        StatDlg dlg(nullptr, file.get());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("统计数据"));
        QCOMPARE(dlg.size(), QSize(479, 479));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QCOMPARE(child<QLabel>(&dlg, "label_period")->text(),
                 QStringLiteral("2018/04/20 15:30:20 -> 2018/04/20 16:31:00"));
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit_start"), child<QTimeEdit>(&dlg, "timeEdit_start")), t0());
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit_end"), child<QTimeEdit>(&dlg, "timeEdit_end")),
                 file->records[4].time);
        QCOMPARE(results(&dlg)->rowCount(), 0);
        QCOMPARE(results(&dlg)->columnCount(), 4);
        QVERIFY(!child<QPushButton>(&dlg, "pushButton_copy")->isEnabled());
    }

    void computeAndCopy_data()
    {
        QTest::addColumn<int>("startOffset");
        QTest::addColumn<int>("endOffset");
        QTest::addColumn<QString>("minUA");
        QTest::addColumn<QString>("maxUA");
        QTest::addColumn<QString>("avgUnbI");
        QTest::newRow("whole file") << 0 << 3640 << "100" << "104" << "3102";
        QTest::newRow("one sample, start equal to end") << 20 << 20 << "102" << "102" << "3102";
        QTest::newRow("between samples") << 5 << 25 << "101" << "102" << "3101.5";
        QTest::newRow("the last sample alone") << 3640 << 3640 << "104" << "104" << "3104";
    }

    void computeAndCopy()
    {
        QFETCH(int, startOffset);
        QFETCH(int, endOffset);
        auto file = testFile();
        StatDlg dlg(nullptr, file.get());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        setSpan(&dlg, t0() + uint32_t(startOffset), t0() + uint32_t(endOffset));
        child<QPushButton>(&dlg, "pushButton_stat")->click();

        QCOMPARE(results(&dlg)->rowCount(), 31);
        QCOMPARE(cell(&dlg, 0, 0), QStringLiteral("UA"));
        QCOMPARE(cell(&dlg, 15, 0), QStringLiteral("COS"));
        QCOMPARE(results(&dlg)->index(30, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QTEST(cell(&dlg, 0, 1), "minUA");
        QTEST(cell(&dlg, 0, 2), "maxUA");
        QTEST(cell(&dlg, 30, 3), "avgUnbI");
        QCOMPARE(child<QProgressBar>(&dlg, "progressBar")->value(), 100);
        auto *copy = child<QPushButton>(&dlg, "pushButton_copy");
        QVERIFY(copy->isEnabled());

        // Ctrl+C right after the statistics copies them all.
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        QTRY_VERIFY(!QGuiApplication::clipboard()->text().isEmpty());
        const QString text = QGuiApplication::clipboard()->text();
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        const QStringList lines = text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 33);
        QVERIFY(lines.last().isEmpty());
        QCOMPARE(lines[0], QStringLiteral("参数\t最小值\t最大值\t平均值"));
        for (int i = 1; i < 32; ++i)
            QCOMPARE(lines[i].split(QLatin1Char('\t')).size(), 4);
        QCOMPARE(lines[1].section(QLatin1Char('\t'), 0, 0), QStringLiteral("UA"));
    }

    void refusals_data()
    {
        QTest::addColumn<int>("startOffset");
        QTest::addColumn<int>("endOffset");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        const QString error = QStringLiteral("错误");
        QTest::newRow("both outside: start message") << -1 << 4000 << error << "起始时间超出了文件时间范围！";
        QTest::newRow("end outside") << 0 << 3641 << error << "结束时间超出了文件时间范围！";
        QTest::newRow("reversed") << 30 << 10 << error << "起始时间和结束时间颠倒了！";
        QTest::newRow("inside the gap") << 100 << 3000 << QStringLiteral("提示") << emptySpanMessage();
    }

    // A refused span leaves the previous results, the bar and Copy as they were.
    void refusals()
    {
        QFETCH(int, startOffset);
        QFETCH(int, endOffset);
        auto file = testFile();
        StatDlg dlg(nullptr, file.get());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        setSpan(&dlg, t0() + 10, t0() + 10);
        child<QPushButton>(&dlg, "pushButton_stat")->click();
        QCOMPARE(cell(&dlg, 0, 3), QStringLiteral("101"));

        zeptest::MessageBoxLog boxes;
        boxes.start();
        setSpan(&dlg, uint32_t(qint64(t0()) + startOffset), t0() + uint32_t(endOffset));
        child<QPushButton>(&dlg, "pushButton_stat")->click();
        QCOMPARE(boxes.seen.size(), 1);
        QTEST(boxes.seen[0].title, "title");
        QTEST(boxes.seen[0].text, "message");
        QCOMPARE(boxes.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(results(&dlg)->rowCount(), 31);
        QCOMPARE(cell(&dlg, 0, 3), QStringLiteral("101"));
        QVERIFY(child<QPushButton>(&dlg, "pushButton_copy")->isEnabled());
        QCOMPARE(child<QProgressBar>(&dlg, "progressBar")->value(), 100);
    }

    void endButtonsRestoreTheFile()
    {
        auto file = testFile();
        StatDlg dlg(nullptr, file.get());
        setSpan(&dlg, t0() + 20, t0() + 30);
        child<QPushButton>(&dlg, "pushButton_leftend")->click();
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit_start"), child<QTimeEdit>(&dlg, "timeEdit_start")), t0());
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit_end"), child<QTimeEdit>(&dlg, "timeEdit_end")), t0() + 30);
        child<QPushButton>(&dlg, "pushButton_rightend")->click();
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit_end"), child<QTimeEdit>(&dlg, "timeEdit_end")),
                 file->records[4].time);
    }
};

ZEP_TEST_MAIN(TestStatDlg)
#include "tst_statdlg.moc"
