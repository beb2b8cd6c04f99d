#include "data/datafile.h"
#include "views/finddlg.h"
#include "views/mytableview.h"
#include "views/rangesetdlg.h"
#include "views/timespan.h"
#include "views/turntodlg.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTimeEdit>

#include <qwt_plot.h>

#include <cmath>
#include <vector>

Q_DECLARE_METATYPE(TurnToCheck)

namespace {

// 2018-04-20 15:30:20 local time, the first sample of the test files.
uint32_t t0()
{
    return uint32_t(QDateTime(QDate(2018, 4, 20), QTime(15, 30, 20)).toSecsSinceEpoch());
}

// Samples at t0 + 0, 10, 20, 30, then after an hour's gap at t0 + 3630.
std::unique_ptr<DataFile> testFile()
{
    const int offsets[] = {0, 10, 20, 30, 3630};
    auto file = std::make_unique<DataFile>(QStringLiteral("/data/nav.txt"), 5);
    for (int i = 0; i < 5; ++i) {
        file->records[i].time = t0() + uint32_t(offsets[i]);
        for (int k = 1; k <= kValueCount; ++k)
            file->records[i].setValue(k, float(10 * k + i));
    }
    return file;
}

// A table window as the main window makes it: the view in a sub-window.
struct TableWindow {
    explicit TableWindow(DataFile *file)
        : window(new QMdiSubWindow)
        , table(new MyTableView(file))
    {
        window->setWidget(table);
        window->setWindowTitle(file->fileName + QStringLiteral(" - 数据列表"));
        window->show();
    }
    ~TableWindow() { delete window; }

    QMdiSubWindow *window;
    MyTableView *table;
};

template <typename T>
T *child(QWidget *dlg, const char *name)
{
    return dlg->findChild<T *>(QLatin1String(name));
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

    static void setStart(QWidget *dlg, uint32_t t)
    {
        setEditsTime(child<QDateEdit>(dlg, "dateEdit_start"), child<QTimeEdit>(dlg, "timeEdit_start"), t);
    }
    static void setEnd(QWidget *dlg, uint32_t t)
    {
        setEditsTime(child<QDateEdit>(dlg, "dateEdit_end"), child<QTimeEdit>(dlg, "timeEdit_end"), t);
    }
    static uint32_t start(QWidget *dlg)
    {
        return editsTime(child<QDateEdit>(dlg, "dateEdit_start"), child<QTimeEdit>(dlg, "timeEdit_start"));
    }
    static uint32_t end(QWidget *dlg)
    {
        return editsTime(child<QDateEdit>(dlg, "dateEdit_end"), child<QTimeEdit>(dlg, "timeEdit_end"));
    }

private slots:
    // ---- Find

    void findPrefill_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("band");
        QTest::addColumn<int>("para");
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<QString>("bandText");
        QTest::addColumn<QString>("paraText");
        QTest::newRow("first search") << 0.0 << 0.05 << 0 << "0" << "0.05" << "所有参数";
        QTest::newRow("six digits") << 220.1256 << 0.5 << 1 << "220.126" << "0.5" << "UA";
        QTest::newRow("large and small") << 1234567.0 << 0.000123 << 16 << "1.23457e+06" << "0.000123" << "COS";
        QTest::newRow("last column") << -3.0 << 0.0 << 31 << "-3" << "0" << "UnbI";
    }

    void findPrefill()
    {
        QFETCH(double, value);
        QFETCH(double, band);
        QFETCH(int, para);
        auto *dlg = new FindDlg(nullptr, value, band, para);
        QCOMPARE(dlg->windowTitle(), QStringLiteral("查找"));
        QCOMPARE(dlg->size(), QSize(355, 121));
        QTEST(child<QLineEdit>(dlg, "lineEditValue")->text(), "valueText");
        QTEST(child<QLineEdit>(dlg, "lineEditBand")->text(), "bandText");
        auto *combo = child<QComboBox>(dlg, "comboBoxPara");
        QCOMPARE(combo->count(), 32);
        QCOMPARE(combo->currentIndex(), para);
        QTEST(combo->currentText(), "paraText");
        delete dlg;
    }

    void findParsesCLocale_data()
    {
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<QString>("bandText");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("band");
        QTest::newRow("plain") << "220.5" << "0.5" << 220.5 << 0.5;
        QTest::newRow("exponent, blanks") << " 1e3 " << "2.5E-1" << 1000.0 << 0.25;
        QTest::newRow("not numbers give 0") << "abc" << "" << 0.0 << 0.0;
        QTest::newRow("decimal comma gives 0") << "220,5" << "0,5" << 0.0 << 0.0;
        QTest::newRow("negative band kept") << "-7" << "-1" << -7.0 << -1.0;
    }

    void findParsesCLocale()
    {
        QFETCH(QString, valueText);
        QFETCH(QString, bandText);
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German));
        QPointer<FindDlg> dlg = new FindDlg(nullptr, 0, 0.05, 0);
        QSignalSpy found(dlg.data(), &FindDlg::find);
        child<QLineEdit>(dlg, "lineEditValue")->setText(valueText);
        child<QLineEdit>(dlg, "lineEditBand")->setText(bandText);
        child<QComboBox>(dlg, "comboBoxPara")->setCurrentIndex(5);
        dlg->show();
        child<QPushButton>(dlg, "pushButton_ok")->click();
        QLocale::setDefault(saved);
        QCOMPARE(found.count(), 1);
        QTEST(found[0][0].toDouble(), "value");
        QTEST(found[0][1].toDouble(), "band");
        QCOMPARE(found[0][2].toInt(), 5);
        settle();
        QVERIFY(!dlg);
    }

    void findRemembersAcrossReopenings()
    {
        auto file = testFile();
        TableWindow w(file.get());
        QPointer<FindDlg> dlg = openFindDlg(w.window, w.table);
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->parentWidget(), w.window);
        QVERIFY(!dlg->isModal());
        child<QLineEdit>(dlg, "lineEditValue")->setText(QStringLiteral("22"));
        child<QLineEdit>(dlg, "lineEditBand")->setText(QStringLiteral("0.5"));
        child<QComboBox>(dlg, "comboBoxPara")->setCurrentIndex(2);
        dlg->move(123, 234);
        const QPoint where = dlg->pos();
        child<QPushButton>(dlg, "pushButton_ok")->click();
        settle();
        QVERIFY(!dlg);
        QVERIFY(w.table->findStarted());
        QCOMPARE(w.table->findValue(), 22.0);
        QCOMPARE(w.table->findBand(), 0.5);
        QCOMPARE(w.table->findPara(), 2);
        QCOMPARE(QPoint(w.table->findDlgX(), w.table->findDlgY()), where);
        // UB of record 2 is 22: the search ran and found it.
        QCOMPARE(w.table->currentIndex().row(), 2);
        QCOMPARE(w.table->currentIndex().column(), 2);

        dlg = openFindDlg(w.window, w.table);
        QCOMPARE(child<QLineEdit>(dlg, "lineEditValue")->text(), QStringLiteral("22"));
        QCOMPARE(child<QLineEdit>(dlg, "lineEditBand")->text(), QStringLiteral("0.5"));
        QCOMPARE(child<QComboBox>(dlg, "comboBoxPara")->currentIndex(), 2);
        QCOMPARE(dlg->pos(), where);
        // Closed from the title bar it still reports where it stood.
        dlg->move(where + QPoint(40, 30));
        const QPoint moved = dlg->pos();
        dlg->close();
        settle();
        QCOMPARE(QPoint(w.table->findDlgX(), w.table->findDlgY()), moved);
        QCOMPARE(w.table->findValue(), 22.0);
    }

    void findDialogGoesWithItsWindow()
    {
        auto file = testFile();
        auto *w = new TableWindow(file.get());
        QPointer<FindDlg> dlg = openFindDlg(w->window, w->table);
        delete w;
        QVERIFY(!dlg);
    }

    // ---- Go to

    void decideTurnTo_data()
    {
        QTest::addColumn<int>("firstShown");
        QTest::addColumn<int>("shownCount");
        QTest::addColumn<int>("offset");
        QTest::addColumn<TurnToCheck>("check");
        QTest::addColumn<int>("row");
        // Samples at offsets 0, 10, 20, 30, 3630.
        QTest::newRow("exactly the first") << 0 << 5 << 0 << TurnToCheck::Ok << 0;
        QTest::newRow("exactly the last") << 0 << 5 << 3630 << TurnToCheck::Ok << 4;
        QTest::newRow("between two: the later") << 0 << 5 << 11 << TurnToCheck::Ok << 2;
        QTest::newRow("in the gap: the later") << 0 << 5 << 31 << TurnToCheck::Ok << 4;
        QTest::newRow("before the file") << 0 << 5 << -1 << TurnToCheck::OutsideFile << -1;
        QTest::newRow("after the file") << 0 << 5 << 3631 << TurnToCheck::OutsideFile << -1;
        QTest::newRow("restricted: row among those shown") << 1 << 2 << 20 << TurnToCheck::Ok << 1;
        QTest::newRow("restricted: first shown") << 1 << 2 << 5 << TurnToCheck::Ok << 0;
        QTest::newRow("restricted: before the rows") << 1 << 2 << 0 << TurnToCheck::OutsideShown << -1;
        QTest::newRow("restricted: after the rows") << 1 << 2 << 25 << TurnToCheck::OutsideShown << -1;
        QTest::newRow("restricted: outside the file wins") << 1 << 2 << 4000 << TurnToCheck::OutsideFile << -1;
        QTest::newRow("no rows shown") << 4 << 0 << 30 << TurnToCheck::OutsideShown << -1;
    }

    void decideTurnTo()
    {
        QFETCH(int, firstShown);
        QFETCH(int, shownCount);
        QFETCH(int, offset);
        QFETCH(TurnToCheck, check);
        auto file = testFile();
        const TurnToDecision d = ::decideTurnTo(file->records, int(file->count), firstShown, shownCount,
                                                uint32_t(qint64(t0()) + offset), true);
        QCOMPARE(d.check, check);
        QTEST(d.row, "row");
        QCOMPARE(turnToMessage(d.check).isEmpty(), check == TurnToCheck::Ok);
    }

    void turnToForm()
    {
        auto file = testFile();
        TableWindow w(file.get());
        TurntoDlg dlg(w.window, file.get());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("转到"));
        QCOMPARE(dlg.size(), QSize(282, 193));
        QCOMPARE(child<QLabel>(&dlg, "label_period")->text(),
                 QStringLiteral("2018/04/20 15:30:20 -> 2018/04/20 16:30:50"));
        QCOMPARE(editsTime(child<QDateEdit>(&dlg, "dateEdit"), child<QTimeEdit>(&dlg, "timeEdit")), t0());
    }

    // ---- Time range

    void rangeForm()
    {
        auto file = testFile();
        RangeSetDlg dlg(nullptr, file.get());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("范围设定"));
        QCOMPARE(dlg.size(), QSize(322, 229));
        QCOMPARE(child<QLabel>(&dlg, "label_period")->text(),
                 QStringLiteral("2018/04/20 15:30:20 -> 2018/04/20 16:30:50"));
        QCOMPARE(child<QPushButton>(&dlg, "pushButton_leftend")->text(), QStringLiteral("|<-"));
        QCOMPARE(child<QPushButton>(&dlg, "pushButton_rightend")->text(), QStringLiteral("->|"));
        dlg.setRange(t0() + 10, t0() + 20);
        QCOMPARE(start(&dlg), t0() + 10);
        QCOMPARE(end(&dlg), t0() + 20);
        dlg.setRange(0, 0);
        QCOMPARE(start(&dlg), t0());
        QCOMPARE(end(&dlg), t0() + 3630);
    }

    void rangeEndButtons()
    {
        auto file = testFile();
        RangeSetDlg dlg(nullptr, file.get());
        dlg.setRange(t0() + 10, t0() + 20);
        child<QPushButton>(&dlg, "pushButton_rightend")->click();
        QCOMPARE(start(&dlg), t0() + 10);
        QCOMPARE(end(&dlg), t0() + 3630);
        setStart(&dlg, t0() + 5000);
        child<QPushButton>(&dlg, "pushButton_leftend")->click();
        QCOMPARE(start(&dlg), t0());
    }

    void rangeOk_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("whole file") << 0 << 3630 << QString();
        QTest::newRow("start equal to end") << 20 << 20 << QString();
        QTest::newRow("inside a gap") << 100 << 200 << QString();
        QTest::newRow("both outside: start message") << -10 << 4000 << "起始时间超出了文件时间范围！";
        QTest::newRow("start after the file") << 3631 << 3631 << "起始时间超出了文件时间范围！";
        QTest::newRow("end outside") << 10 << 3631 << "结束时间超出了文件时间范围！";
        QTest::newRow("reversed") << 30 << 10 << "起始时间和结束时间颠倒了！";
    }

    void rangeOk()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, message);
        auto file = testFile();
        RangeSetDlg dlg(nullptr, file.get());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QList<QPair<uint32_t, uint32_t>> chosen;
        connect(&dlg, &RangeSetDlg::setRangeTime, [&chosen](uint32_t from, uint32_t to) { chosen.append({from, to}); });
        const uint32_t s = uint32_t(qint64(t0()) + from);
        const uint32_t e = uint32_t(qint64(t0()) + to);
        dlg.setRange(s, e);
        zeptest::MessageBoxLog boxes;
        boxes.start();
        child<QPushButton>(&dlg, "pushButton_ok")->click();
        if (message.isEmpty()) {
            QVERIFY(boxes.seen.isEmpty());
            QCOMPARE(chosen.count(), 1);
            QCOMPARE(chosen[0].first, s);
            QCOMPARE(chosen[0].second, e);
            QVERIFY(!dlg.isVisible());
        } else {
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen[0].title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen[0].text, message);
            QCOMPARE(chosen.count(), 0);
            QVERIFY(dlg.isVisible());
            QCOMPARE(start(&dlg), s);
            QCOMPARE(end(&dlg), e);
        }
    }

    void tableSpan_data()
    {
        QTest::addColumn<int>("from"); // -1: the whole file
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("shownStart");
        QTest::addColumn<int>("shownEnd");
        QTest::newRow("whole file") << -1 << 0 << 0 << 3630;
        QTest::newRow("restricted between samples") << 5 << 25 << 10 << 20;
        QTest::newRow("one row") << 30 << 30 << 30 << 30;
        QTest::newRow("no rows: the file's span") << 100 << 200 << 0 << 3630;
    }

    // What the range dialog offers on a table window.
    void tableSpan()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, shownStart);
        QFETCH(int, shownEnd);
        auto file = testFile();
        TableWindow w(file.get());
        if (from >= 0)
            w.table->setxRange(t0() + uint32_t(from), t0() + uint32_t(to));
        RangeSetDlg dlg(nullptr, file.get());
        const ShownSpan span = ::tableSpan(*w.table);
        dlg.setRange(span.start, span.end);
        QCOMPARE(qint64(start(&dlg)) - t0(), qint64(shownStart));
        QCOMPARE(qint64(end(&dlg)) - t0(), qint64(shownEnd));
    }

    void timeCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("a cell") << "2018-04-20 15:30:20" << qint64(t0());
        QTest::newRow("not a time") << "garbage" << qint64(0);
        QTest::newRow("empty") << "" << qint64(0);
        QTest::newRow("before 1970") << "1960-01-01 00:00:00" << qint64(0);
    }

    void timeCells()
    {
        QFETCH(QString, text);
        QTEST(qint64(timeCellSeconds(text)), "seconds");
    }

    void axisSeconds_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("truncated") << 1524209420.9 << qint64(1524209420);
        QTest::newRow("whole") << 1524209420.0 << qint64(1524209420);
        QTest::newRow("negative") << -35.5 << qint64(0);
        QTest::newRow("beyond 32 bits") << 5e9 << qint64(4294967295);
        QTest::newRow("not a number") << std::nan("") << qint64(0);
        QTest::newRow("infinite") << HUGE_VAL << qint64(4294967295);
    }

    void axisSeconds()
    {
        QFETCH(double, value);
        QTEST(qint64(boundedAxisSecond(value)), "seconds");
    }

    void plotSpanFollowsTheAxis()
    {
        QwtPlot plot;
        plot.setAxisScale(QwtPlot::xBottom, t0() + 10.7, t0() + 30.2);
        plot.replot();
        const ShownSpan span = ::plotSpan(plot);
        QCOMPARE(span.start, t0() + 10);
        QCOMPARE(span.end, t0() + 30);
    }
};

ZEP_TEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
