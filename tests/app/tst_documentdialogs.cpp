// The dialogs that act on the current document, opened through the main
// window's actions on files opened through loadFile.

#include "analysis/reportdlg.h"
#include "analysis/statdlg.h"
#include "mainwindowtest.h"
#include "data/appconfig.h"
#include "realtime/realplot.h"
#include "views/colorselbutton.h"
#include "views/discfgdlg.h"
#include "views/finddlg.h"
#include "views/mytableview.h"
#include "views/plot.h"
#include "views/rangesetdlg.h"
#include "views/timespan.h"
#include "views/turntodlg.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QTimeEdit>

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_div.h>

namespace {

// Samples every 5 s from this time (writeSampleFile's default).
constexpr uint32_t kStart = 1525586601u;
uint32_t sampleTime(int i)
{
    return kStart + uint32_t(5 * i);
}

template <typename T>
T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

struct Span {
    uint32_t start = 0;
    uint32_t end = 0;
};

Span offered(QWidget *dlg)
{
    return {editsTime(child<QDateEdit>(dlg, "dateEdit_start"), child<QTimeEdit>(dlg, "timeEdit_start")),
            editsTime(child<QDateEdit>(dlg, "dateEdit_end"), child<QTimeEdit>(dlg, "timeEdit_end"))};
}

void choose(QWidget *dlg, uint32_t start, uint32_t end)
{
    setEditsTime(child<QDateEdit>(dlg, "dateEdit_start"), child<QTimeEdit>(dlg, "timeEdit_start"), start);
    setEditsTime(child<QDateEdit>(dlg, "dateEdit_end"), child<QTimeEdit>(dlg, "timeEdit_end"), end);
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestDocumentDialogs : public zeptest::MainWindowTest
{
    Q_OBJECT



    QString open(const QString &name, int count = 20)
    {
        const QString p = dir->filePath(name);
        if (!zeptest::writeSampleFile(p, count))
            qWarning("cannot write %s", qPrintable(p));
        window->loadFile(p);
        return p;
    }

    QMdiSubWindow *activate(const QString &title) const
    {
        for (QMdiSubWindow *w : window->documentArea()->subWindowList()) {
            if (w->windowTitle() == title) {
                window->documentArea()->setActiveSubWindow(w);
                return w;
            }
        }
        qWarning("no window %s", qPrintable(title));
        return nullptr;
    }

    static MyTableView *tableOf(QMdiSubWindow *w) { return qobject_cast<MyTableView *>(w->widget()); }
    static Plot *plotOf(QMdiSubWindow *w) { return qobject_cast<Plot *>(w->widget()); }

    // Runs the action; when a modal dialog of type T comes up, act handles it.
    // Returns whether one came up.
    template <typename T, typename Act>
    bool runDialog(const char *actionName, Act act)
    {
        zeptest::ModalWatch<T> watch([act](T *dlg) mutable {
            act(dlg);
            if (dlg->isVisible())
                dlg->reject();
        });
        action(actionName)->trigger();
        settle();
        return watch.seen;
    }

private slots:
    void init()
    {
        startWindow();
    }

    void cleanup() { stopWindow(); }

    void findWalksTheMatches()
    {
        const QString path = open(QStringLiteral("a.txt"));
        QMdiSubWindow *w = activate(path + " - 数据列表");
        MyTableView *table = tableOf(w);
        QVERIFY(action("action_Find")->isEnabled());
        QVERIFY(!action("action_FindNext")->isEnabled());
        QVERIFY(!action("action_FindPrevious")->isEnabled());

        action("action_Find")->trigger();
        QPointer<FindDlg> dlg = w->findChild<FindDlg *>();
        QVERIFY(dlg && dlg->isVisible() && !dlg->isModal());
        // Every UA value lies within the band: each row matches once.
        child<QLineEdit>(dlg, "lineEditValue")->setText(QStringLiteral("0"));
        child<QLineEdit>(dlg, "lineEditBand")->setText(QStringLiteral("1e9"));
        child<QComboBox>(dlg, "comboBoxPara")->setCurrentIndex(1);
        dlg->move(200, 150);
        const QPoint where = dlg->pos();
        child<QPushButton>(dlg, "pushButton_ok")->click();
        settle();
        QVERIFY(!dlg);
        QCOMPARE(table->currentIndex(), table->model()->index(0, 1));
        QVERIFY(action("action_FindNext")->isEnabled());
        QVERIFY(action("action_FindPrevious")->isEnabled());

        action("action_FindNext")->trigger();
        action("action_FindNext")->trigger();
        QCOMPARE(table->currentIndex(), table->model()->index(2, 1));
        action("action_FindPrevious")->trigger();
        QCOMPARE(table->currentIndex(), table->model()->index(1, 1));
        QCOMPARE(table->selectionModel()->selectedIndexes(), QModelIndexList({table->currentIndex()}));

        action("action_Find")->trigger();
        dlg = w->findChild<FindDlg *>();
        QVERIFY(dlg);
        QCOMPARE(child<QLineEdit>(dlg, "lineEditValue")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLineEdit>(dlg, "lineEditBand")->text(), QStringLiteral("1e+09"));
        QCOMPARE(child<QComboBox>(dlg, "comboBoxPara")->currentIndex(), 1);
        QCOMPARE(dlg->pos(), where);
        child<QPushButton>(dlg, "pushButton_cancel")->click();
        settle();
        QVERIFY(!dlg);
    }

    void findDialogsOfTwoTables()
    {
        const QString a = open(QStringLiteral("a.txt"));
        const QString b = open(QStringLiteral("b.txt"));
        QMdiSubWindow *wa = activate(a + " - 数据列表");
        action("action_Find")->trigger();
        QMdiSubWindow *wb = activate(b + " - 数据列表");
        action("action_Find")->trigger();
        QPointer<FindDlg> dlgA = wa->findChild<FindDlg *>();
        QPointer<FindDlg> dlgB = wb->findChild<FindDlg *>();
        QVERIFY(dlgA && dlgB);

        child<QLineEdit>(dlgA, "lineEditBand")->setText(QStringLiteral("1e9"));
        child<QPushButton>(dlgA, "pushButton_ok")->click();
        settle();
        QVERIFY(tableOf(wa)->findStarted());
        QVERIFY(!tableOf(wb)->findStarted());
        QCOMPARE(tableOf(wa)->currentIndex(), tableOf(wa)->model()->index(0, 1));
        // B is still the current window, and its search has not started.
        QVERIFY(!action("action_FindNext")->isEnabled());
        activate(a + " - 数据列表");
        QVERIFY(action("action_FindNext")->isEnabled());
        QVERIFY(dlgB);
        dlgB->close();
        settle();
        QVERIFY(!dlgB);
    }

    void goToOnTables_data()
    {
        QTest::addColumn<int>("restrictFirst"); // -1: the whole file
        QTest::addColumn<int>("restrictLast");
        QTest::addColumn<int>("offset");        // seconds after the first sample
        QTest::addColumn<int>("row");           // -1: refused
        QTest::newRow("between two samples: the later") << -1 << 0 << 17 << 4;
        QTest::newRow("after the file") << -1 << 0 << 96 << -1;
        QTest::newRow("restricted: among the rows shown") << 5 << 10 << 35 << 2;
        QTest::newRow("restricted: outside the rows shown") << 5 << 10 << 60 << -1;
    }

    void goToOnTables()
    {
        QFETCH(int, restrictFirst);
        QFETCH(int, restrictLast);
        QFETCH(int, offset);
        QFETCH(int, row);
        const QString path = open(QStringLiteral("a.txt"));
        QMdiSubWindow *w = activate(path + " - 数据列表");
        MyTableView *table = tableOf(w);
        if (restrictFirst >= 0)
            table->setxRange(sampleTime(restrictFirst), sampleTime(restrictLast));
        zeptest::MessageBoxLog boxes;
        boxes.start();
        bool stayedOpen = false;
        QWidget *parent = nullptr;
        QVERIFY(runDialog<TurntoDlg>("action_TurnTo", [&](TurntoDlg *dlg) {
            parent = dlg->parentWidget();
            setEditsTime(child<QDateEdit>(dlg, "dateEdit"), child<QTimeEdit>(dlg, "timeEdit"), kStart + uint32_t(offset));
            child<QPushButton>(dlg, "pushButton_ok")->click();
            stayedOpen = dlg->isVisible();
        }));
        QCOMPARE(parent, w);
        if (row < 0) {
            QVERIFY(stayedOpen);
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen[0].title, QStringLiteral("错误"));
            QVERIFY(table->selectionModel()->selectedIndexes().isEmpty());
            return;
        }
        QVERIFY(!stayedOpen);
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(table->currentIndex().row(), row);
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        QVERIFY(table->selectionModel()->isRowSelected(row, QModelIndex()));
    }

    void restrictTable()
    {
        const QString path = open(QStringLiteral("a.txt"));
        MyTableView *table = tableOf(activate(path + " - 数据列表"));
        Span first;
        QVERIFY(runDialog<RangeSetDlg>("action_Restrict", [&](RangeSetDlg *dlg) {
            first = offered(dlg);
            choose(dlg, sampleTime(2) - 2, sampleTime(5) + 1);
            child<QPushButton>(dlg, "pushButton_ok")->click();
        }));
        QCOMPARE(first.start, sampleTime(0));
        QCOMPARE(first.end, sampleTime(19));
        QCOMPARE(table->firstRecord(), 2);
        QCOMPARE(table->shownRecords(), 4);

        // Offered again: the rows the table shows now; then a span without
        // samples.
        Span second;
        QVERIFY(runDialog<RangeSetDlg>("action_Restrict", [&](RangeSetDlg *dlg) {
            second = offered(dlg);
            choose(dlg, sampleTime(7) + 1, sampleTime(7) + 3);
            child<QPushButton>(dlg, "pushButton_ok")->click();
        }));
        QCOMPARE(second.start, sampleTime(2));
        QCOMPARE(second.end, sampleTime(5));
        QCOMPARE(table->shownRecords(), 0);

        Span third;
        QVERIFY(runDialog<RangeSetDlg>("action_Restrict", [&](RangeSetDlg *dlg) { third = offered(dlg); }));
        QCOMPARE(third.start, sampleTime(0));
        QCOMPARE(third.end, sampleTime(19));
        QCOMPARE(table->shownRecords(), 0);
    }

    void restrictPlot()
    {
        const QString path = open(QStringLiteral("a.txt"));
        Plot *plot = plotOf(activate(path + " - 趋势图"));
        plot->setAxisScale(QwtPlot::xBottom, sampleTime(2) + 0.7, sampleTime(10) + 0.2);
        plot->replot();
        Span shown;
        QVERIFY(runDialog<RangeSetDlg>("action_Restrict", [&](RangeSetDlg *dlg) {
            QCOMPARE(dlg->parentWidget(), window.get());
            shown = offered(dlg);
            choose(dlg, sampleTime(4), sampleTime(6));
            child<QPushButton>(dlg, "pushButton_ok")->click();
        }));
        QCOMPARE(shown.start, sampleTime(2));
        QCOMPARE(shown.end, sampleTime(10));
        QCOMPARE(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), double(sampleTime(4)));
        QCOMPARE(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), double(sampleTime(6)));
    }

    void statisticsOfTheCurrentFile_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("from the table") << " - 数据列表";
        QTest::newRow("from the plot") << " - 趋势图";
    }

    void statisticsOfTheCurrentFile()
    {
        QFETCH(QString, suffix);
        open(QStringLiteral("a.txt"));
        const QString path = open(QStringLiteral("b.txt"), 7);
        MyTableView *table = tableOf(activate(path + " - 数据列表"));
        table->setxRange(sampleTime(1), sampleTime(2));
        activate(path + suffix);
        int rows = 0;
        QString maxUA;
        QVERIFY(runDialog<StatDlg>("action_Stat", [&](StatDlg *dlg) {
            QCOMPARE(dlg->parentWidget(), window.get());
            child<QPushButton>(dlg, "pushButton_stat")->click();
            const QAbstractItemModel *model = child<QTableView>(dlg, "tableView")->model();
            rows = model->rowCount();
            maxUA = model->index(0, 2).data().toString();
        }));
        QCOMPARE(rows, 31);
        // The whole of b.txt, whatever its table shows.
        float top = float(zeptest::sampleValue(0, 1));
        for (int i = 1; i < 7; ++i)
            top = qMax(top, float(zeptest::sampleValue(i, 1)));
        QCOMPARE(maxUA, QString::number(double(top), 'g', 6));
    }

    // The report opens over the main window and comes back at the size it
    // was left at.
    void reportKeepsItsSize()
    {
        activate(open(QStringLiteral("r.txt")) + " - 趋势图");
        QVERIFY(runDialog<ReportDlg>("action_Report", [this](ReportDlg *dlg) {
            QCOMPARE(dlg->parentWidget(), window.get());
            dlg->resize(1111, 777);
        }));
        QSize size;
        QVERIFY(runDialog<ReportDlg>("action_Report", [&size](ReportDlg *dlg) { size = dlg->size(); }));
        QCOMPARE(size, QSize(1111, 777));
    }

    // The real-time window passes the plot test but has no file.
    void realTimeWindowHasNoDocument()
    {
        open(QStringLiteral("a.txt"));
        action("action_ReadCom")->trigger();
        QVERIFY(window->realTimeWindow());
        QCOMPARE(window->documentArea()->currentSubWindow()->widget(), window->realTimeWindow());
        QVERIFY(action("action_Stat")->isEnabled());
        QVERIFY(action("action_Restrict")->isEnabled());
        QVERIFY(!runDialog<StatDlg>("action_Stat", [](StatDlg *) {}));
        QVERIFY(!runDialog<ReportDlg>("action_Report", [](ReportDlg *) {}));
        QVERIFY(!runDialog<RangeSetDlg>("action_Restrict", [](RangeSetDlg *) {}));
    }

    void displaySettingsReachTheWindows()
    {
        action("action_ReadCom")->trigger();
        RealPlot *live = window->realTimeWindow();
        QVERIFY(live);
        const QString path = open(QStringLiteral("a.txt"));
        Plot *plot = plotOf(activate(path + " - 趋势图"));
        const QColor background(10, 20, 30);
        const QColor curve(200, 100, 50);
        QVERIFY(runDialog<DisCfgDlg>("action_display", [&](DisCfgDlg *dlg) {
            dlg->backgroundColorButton()->setColor(background);
            dlg->parameterColorButton(2)->setColor(curve);
            dlg->parameterCheckBox(0)->setChecked(false);
            child<QComboBox>(dlg, "combo_gridline")->setCurrentIndex(1);
            child<QRadioButton>(dlg, "radioButton_fixed")->click();
            child<QLineEdit>(dlg, "lineEdit_low")->setText(QStringLiteral("10"));
            child<QLineEdit>(dlg, "lineEdit_high")->setText(QStringLiteral("20"));
            child<QDialogButtonBox>(dlg, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        }));
        QCOMPARE(AppConfig.disp.back_red, 10);
        QVERIFY(QFile::exists(configFilePath()));
        QVERIFY(window->findChildren<DisCfgDlg *>().isEmpty());

        for (QwtPlot *p : {static_cast<QwtPlot *>(live), static_cast<QwtPlot *>(plot)}) {
            QCOMPARE(p->canvas()->palette().color(QPalette::Window), background);
            const QwtPlotItemList curves = p->itemList(QwtPlotItem::Rtti_PlotCurve);
            QCOMPARE(curves.size(), 31);
            QVERIFY(!curves[0]->isVisible());
            QVERIFY(curves[1]->isVisible());
            QCOMPARE(static_cast<QwtPlotCurve *>(curves[2])->pen().color(), curve);
            const QwtPlotItemList grids = p->itemList(QwtPlotItem::Rtti_PlotGrid);
            QCOMPARE(grids.size(), 1);
            QCOMPARE(static_cast<QwtPlotGrid *>(grids[0])->majorPen().style(), Qt::SolidLine);
            QVERIFY(!p->axisAutoScale(QwtPlot::yLeft));
            QCOMPARE(p->axisScaleDiv(QwtPlot::yLeft).lowerBound(), 10.0);
            QCOMPARE(p->axisScaleDiv(QwtPlot::yLeft).upperBound(), 20.0);
        }
    }
};

ZEP_TEST_MAIN(TestDocumentDialogs)
#include "tst_documentdialogs.moc"
