#include "data/localtimetext.h"
#include "views/mytableview.h"
#include "views/tablecells.h"
#include "testsupport.h"
#include "../data/datafiletestutil.h"

#include <QHeaderView>
#include <QRandomGenerator>
#include <QStyle>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

float floatFromBits(quint32 bits)
{
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

// The match test as the table's texts define it: format, parse, compare.
bool matchesByText(float v, double value, double band)
{
    const double shown = QString::number(double(v), 'g', 6).toDouble();
    return value - band <= shown && shown <= value + band;
}

// Three rows; the cells listed hold 1, every other value cell 0.
std::vector<SampleRecord> gridWithOnes(const QList<QPoint> &ones)
{
    std::vector<SampleRecord> rows(3, SampleRecord{});
    for (const QPoint &cell : ones)
        rows[size_t(cell.y())].setValue(cell.x(), 1.0f);
    return rows;
}

} // namespace

class TestMyTableView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { zeptest::useZone("Europe/Berlin"); }

    void valueTexts_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("three decimals") << 220.125f << "220.125";
        QTest::newRow("small") << 0.000123f << "0.000123";
        QTest::newRow("large") << 1234567.0f << "1.23457e+06";
        QTest::newRow("tiny") << 1e-5f << "1e-05";
        QTest::newRow("negative") << -5.1f << "-5.1";
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("negative zero") << -0.0f << "0";
        QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << "inf";
        // No value: an empty cell.
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << "";
    }

    void valueTexts()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(valueText(double(value)), text);
        if (!std::isnan(value))
            QCOMPARE(valueText(double(value)), QString::number(double(value), 'g', 6));
    }

    void valueTextsMatchQtEverywhere()
    {
        QRandomGenerator random(7);
        for (int i = 0; i < 200000; ++i) {
            const float v = floatFromBits(random.generate());
            if (!std::isnan(v) && valueText(double(v)) != QString::number(double(v), 'g', 6))
                QFAIL(qPrintable(QString::number(double(v), 'g', 17)));
        }
    }

    void timeTextsMatchQDateTime()
    {
        LocalTimeFormatter formatter;
        QRandomGenerator random(11);
        // Around a daylight-saving change, then anywhere in the 32-bit range.
        const uint32_t change = uint32_t(QDateTime(QDate(2024, 10, 27), QTime(2, 30)).toSecsSinceEpoch());
        for (uint32_t t = change - 7200; t < change + 7200; t += 7)
            QCOMPARE(formatter.text(t), QDateTime::fromSecsSinceEpoch(t).toString("yyyy-MM-dd hh:mm:ss"));
        for (int i = 0; i < 20000; ++i) {
            const uint32_t t = random.generate();
            QCOMPARE(formatter.text(t), QDateTime::fromSecsSinceEpoch(t).toString("yyyy-MM-dd hh:mm:ss"));
        }
    }

    void fastMatchAgreesWithFormatting()
    {
        QRandomGenerator random(3);
        for (int i = 0; i < 300; ++i) {
            const double value = (random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(-6, 8));
            const double band = random.bounded(4) == 0 ? 0.0 : std::fabs(value) * random.generateDouble() * 0.01;
            const FindMatcher matcher(value, band);
            // Floats at and around both ends of the band, where rounding decides.
            for (double end : {value - band, value + band}) {
                float v = float(end);
                for (int step = 0; step < 40; ++step)
                    v = std::nextafter(v, -std::numeric_limits<float>::infinity());
                for (int step = 0; step < 80; ++step, v = std::nextafter(v, std::numeric_limits<float>::infinity()))
                    QCOMPARE(matcher.matches(v), matchesByText(v, value, band));
            }
        }
    }

    void bandEnds_data()
    {
        QTest::addColumn<float>("v");
        QTest::addColumn<double>("band");
        QTest::addColumn<bool>("match");
        QTest::newRow("upper end") << 220.5f << 0.5 << true;
        QTest::newRow("lower end") << 219.5f << 0.5 << true;
        QTest::newRow("past the end") << 220.501f << 0.5 << false;
        QTest::newRow("shown as 220.5") << 220.5000001f << 0.5 << true;
        QTest::newRow("negative band") << 220.0f << -0.1 << false;
        QTest::newRow("zero band, exact text") << 220.0f << 0.0 << true;
    }

    void bandEnds()
    {
        QFETCH(float, v);
        QFETCH(double, band);
        QFETCH(bool, match);
        QCOMPARE(FindMatcher(220.0, band).matches(v), match);
    }

    void findOrder_data()
    {
        QTest::addColumn<int>("para");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QPoint>("current"); // (column, row); row -1: none
        QTest::addColumn<QPoint>("found");   // (-1, -1): nothing
        const QPoint none(-1, -1);
        QTest::newRow("one: no current, forward") << 2 << true << none << QPoint(2, 0);
        QTest::newRow("one: on the column, next row") << 2 << true << QPoint(2, 0) << QPoint(2, 1);
        QTest::newRow("one: left of the column, same row") << 2 << true << QPoint(1, 0) << QPoint(2, 0);
        QTest::newRow("one: no wrap forward") << 2 << true << QPoint(2, 1) << none;
        QTest::newRow("one: backward from the column") << 2 << false << QPoint(2, 1) << QPoint(2, 0);
        QTest::newRow("one: backward right of it, same row") << 2 << false << QPoint(5, 1) << QPoint(2, 1);
        QTest::newRow("one: no wrap backward") << 2 << false << QPoint(2, 0) << none;
        QTest::newRow("one: no current, backward") << 2 << false << none << none;
        QTest::newRow("all: no current") << 0 << true << none << QPoint(2, 0);
        QTest::newRow("all: along the row") << 0 << true << QPoint(2, 0) << QPoint(5, 0);
        QTest::newRow("all: on to the next row") << 0 << true << QPoint(5, 0) << QPoint(2, 1);
        QTest::newRow("all: last column") << 0 << true << QPoint(2, 1) << QPoint(31, 1);
        QTest::newRow("all: from column 31") << 0 << true << QPoint(31, 1) << QPoint(1, 2);
        QTest::newRow("all: from the time column") << 0 << true << QPoint(0, 0) << QPoint(2, 0);
        QTest::newRow("all: no wrap forward") << 0 << true << QPoint(1, 2) << none;
        QTest::newRow("all: back from column 1") << -1 << false << QPoint(1, 2) << QPoint(31, 1);
        QTest::newRow("all: back along the row") << 0 << false << QPoint(31, 1) << QPoint(2, 1);
        QTest::newRow("all: back to the row above") << 0 << false << QPoint(2, 1) << QPoint(5, 0);
        QTest::newRow("all: no wrap backward") << 0 << false << QPoint(2, 0) << none;
    }

    void findOrder()
    {
        QFETCH(int, para);
        QFETCH(bool, forward);
        QFETCH(QPoint, current);
        QFETCH(QPoint, found);
        const auto rows = gridWithOnes({{2, 0}, {5, 0}, {2, 1}, {31, 1}, {1, 2}});
        const TableCell cell = findCell(rows.data(), 3, FindMatcher(1.0, 0.5), para, forward, {current.y(), current.x()});
        QCOMPARE(QPoint(cell.column, cell.row), found);
    }

    void viewFind()
    {
        auto file = zeptest::sampleDataFile(3);
        for (int i = 0; i < 3; ++i)
            file->records[i] = gridWithOnes({{2, 0}, {2, 2}})[size_t(i)];
        MyTableView view(file.get());
        QVERIFY(!view.findStarted());
        QCOMPARE(view.findBand(), 0.05);
        QCOMPARE(QPoint(view.findDlgX(), view.findDlgY()), QPoint(-255, -255));
        view.find(1.0, 0.25, 2);
        QVERIFY(view.findStarted());
        QCOMPARE(view.findPara(), 2);
        QCOMPARE(view.currentIndex(), view.model()->index(0, 2));
        QCOMPARE(view.selectionModel()->selectedIndexes(), QModelIndexList{view.model()->index(0, 2)});
        view.findNext(true);
        QCOMPARE(view.currentIndex().row(), 2);
        // Past the last match: nothing selected, the current cell stays.
        view.findNext(true);
        QVERIFY(view.selectionModel()->selectedIndexes().isEmpty());
        QCOMPARE(view.currentIndex().row(), 2);
        view.findNext(false);
        QCOMPARE(view.currentIndex().row(), 0);
        // The state survives a reload of the rows.
        view.setxRange(file->records[0].time, file->records[2].time);
        QCOMPARE(view.findValue(), 1.0);
        QCOMPARE(view.findBand(), 0.25);
    }

    void viewSettings()
    {
        auto file = zeptest::sampleDataFile(4);
        MyTableView view(file.get());
        QCOMPARE(view.model()->rowCount(), 4);
        QCOMPARE(view.model()->columnCount(), 32);
        // The times and headers not cut: a cell's text, two margins, the grid.
        const int margins = 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) + 1;
        QVERIFY(view.columnWidth(0) >= view.fontMetrics().horizontalAdvance(view.timeText(0)) + margins);
        QVERIFY(view.columnWidth(28) >= view.horizontalHeader()->sectionSizeHint(28));
        QCOMPARE(view.verticalHeader()->defaultSectionSize(), 20);
        QCOMPARE(view.editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(view.selectionMode(), QAbstractItemView::ContiguousSelection);
        QVERIFY(!(view.model()->flags(view.model()->index(0, 1)) & Qt::ItemIsEditable));
        QCOMPARE(view.model()->headerData(0, Qt::Vertical).toInt(), 1);
        QCOMPARE(view.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("UA(V)"));
        QCOMPARE(view.model()->index(1, 0).data().toString(),
                 QDateTime::fromSecsSinceEpoch(file->records[1].time).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(view.model()->index(1, 3).data().toString(), QString::number(double(file->records[1].value(3)), 'g', 6));
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("headerWidth");
        QTest::addColumn<int>("wideRow"); // the one row whose value cells need 90
        QTest::addColumn<QPoint>("widths"); // of the time and of a value column
        QTest::newRow("narrow texts keep the least widths") << 40 << -1 << QPoint(140, 60);
        QTest::newRow("a wide header") << 150 << -1 << QPoint(150, 150);
        QTest::newRow("a wide value among the first rows") << 40 << kWidthRows - 1 << QPoint(140, 90);
        QTest::newRow("a wide value further down is not looked at") << 40 << kWidthRows << QPoint(140, 60);
    }

    void columnWidths()
    {
        QFETCH(int, headerWidth);
        QFETCH(int, wideRow);
        const QVector<int> widths = fittedColumnWidths(1000000, [&](int) { return headerWidth; },
                                                       [&](int row, int column) { return row == wideRow && column ? 90 : 50; });
        QTEST(QPoint(widths[0], widths[31]), "widths");
    }

    void timeRange_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("rows");
        // Samples at 100, 110, 120 and 200.
        QTest::newRow("whole file") << 100u << 200u << 0 << 4;
        QTest::newRow("between samples") << 105u << 115u << 1 << 1;
        QTest::newRow("inside a gap") << 130u << 190u << 3 << 0;
        QTest::newRow("one sample") << 120u << 120u << 2 << 1;
    }

    void timeRange()
    {
        QFETCH(uint, start);
        QFETCH(uint, end);
        auto file = zeptest::sampleDataFile(4, 100, 10);
        file->records[3].time = 200;
        MyTableView view(file.get());
        view.setxRange(start, end);
        QTEST(view.shownRecords(), "rows");
        QTEST(view.firstRecord(), "first");
        QCOMPARE(view.model()->columnCount(), 32);
        QVERIFY(view.columnWidth(0) >= 140);
        if (view.shownRecords() > 0)
            QCOMPARE(view.timeText(0), view.model()->index(0, 0).data().toString());
    }

    void copy_data()
    {
        QTest::addColumn<QRect>("block"); // columns x, rows y
        QTest::addColumn<QStringList>("header");
        QTest::addColumn<int>("cellsPerLine");
        QTest::newRow("a block of values") << QRect(2, 0, 2, 2) << QStringList{"TIME", "UB(V)", "UC(V)"} << 3;
        QTest::newRow("whole rows") << QRect(0, 1, 32, 2) << QStringList() << 32;
        QTest::newRow("one column") << QRect(5, 0, 1, 3) << QStringList{"TIME", "UAB(V)"} << 2;
    }

    void copy()
    {
        QFETCH(QRect, block);
        QFETCH(QStringList, header);
        QFETCH(int, cellsPerLine);
        auto file = zeptest::sampleDataFile(3);
        MyTableView view(file.get());
        QVERIFY(view.selectionText().isEmpty());
        view.selectionModel()->select(QItemSelection(view.model()->index(block.top(), block.left()),
                                                     view.model()->index(block.bottom(), block.right())),
                                      QItemSelectionModel::ClearAndSelect);
        const QString text = view.selectionText();
        QVERIFY(!text.endsWith('\n'));
        const QStringList lines = text.split('\n');
        QCOMPARE(lines.size(), block.height() + 1);
        if (header.isEmpty())
            for (int c = 0; c < 32; ++c)
                header << headerLabel(c);
        QCOMPARE(lines.first().split('\t'), header);
        for (int r = 0; r < block.height(); ++r) {
            const QStringList cells = lines.at(r + 1).split('\t');
            QCOMPARE(cells.size(), cellsPerLine);
            QCOMPARE(cells.first(), view.timeText(block.top() + r));
            QCOMPARE(cells.last(), view.model()->index(block.top() + r, block.right()).data().toString());
        }
    }
};

ZEP_TEST_MAIN(TestMyTableView)
#include "tst_mytableview.moc"
