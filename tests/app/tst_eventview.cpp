#include "app/eventview.h"
#include "app/mainwindow.h"
#include "comm/stationsettings.h"
#include "data/appconfig.h"
#include "data/datafiletestutil.h"
#include "testsupport.h"

#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>

class TestEventView : public QObject
{
    Q_OBJECT

private slots:
    void form()
    {
        EventView view;
        QCOMPARE(view.windowTitle(), QStringLiteral("EventView"));
        QCOMPARE(view.size(), QSize(536, 235));
        QVERIFY(view.testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(view.windowFlags() & Qt::WindowCloseButtonHint);
        auto *table = view.findChild<QTableView *>(QStringLiteral("tableView"));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->columnWidth(0), 70);
        QCOMPARE(table->columnWidth(1), 50);
        QCOMPARE(table->columnWidth(2), 60);
        QCOMPARE(table->columnWidth(3), 350);
        QStandardItemModel *model = view.model();
        QCOMPARE(model->columnCount(), 4);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Tick"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Thread"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Meter"));
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Message"));
        QCOMPARE(model->rowCount(), 0);
    }

    // The last column stretches with the window; the others keep their widths.
    void messageColumnStretches()
    {
        EventView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *table = view.findChild<QTableView *>(QStringLiteral("tableView"));
        QVERIFY(table->horizontalHeader()->stretchLastSection());
        const int viewport = table->viewport()->width();
        QTRY_COMPARE(table->columnWidth(3), viewport - 70 - 50 - 60);
        QVERIFY(table->columnWidth(3) >= 340);
        view.resize(1200, 235);
        QTRY_COMPARE(table->viewport()->width(), viewport + 1200 - 536);
        QTRY_COMPARE(table->columnWidth(3), table->viewport()->width() - 70 - 50 - 60);
        QCOMPARE(table->columnWidth(0), 70);
        QCOMPARE(table->columnWidth(1), 50);
        QCOMPARE(table->columnWidth(2), 60);
    }

    void rows_data()
    {
        QTest::addColumn<bool>("acquiring");
        QTest::newRow("idle") << false;
        QTest::newRow("acquiring") << true;
    }

    void rows()
    {
        QFETCH(bool, acquiring);
        EventView view(nullptr, [acquiring] { return acquiring; });
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        view.addMessage(QStringLiteral("Send:01 04 00 00 00 3A 71 DB"));
        view.addLine({QDateTime::currentDateTime(), QStringLiteral("空调"), QStringLiteral("Recv:01 04")});
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QStandardItemModel *model = view.model();
        QCOMPARE(model->rowCount(), 2);
        const qint64 tick = model->item(0, 0)->text().toLongLong();
        QVERIFY(tick >= before && tick <= after);
        const QString expectedThread = acquiring
            ? QString::number(qint64(reinterpret_cast<quintptr>(QThread::currentThreadId())))
            : QStringLiteral("0");
        QCOMPARE(model->item(1, 1)->text(), expectedThread);
        QCOMPARE(model->item(0, 2)->text() + model->item(1, 2)->text(), QStringLiteral("空调"));
        QCOMPARE(model->item(0, 3)->text(), QStringLiteral("Send:01 04 00 00 00 3A 71 DB"));
        QCOMPARE(model->item(1, 3)->text(), QStringLiteral("Recv:01 04"));
        QCOMPARE(view.findChild<QTableView *>()->rowHeight(1), 20);
    }

    void openedFromMainWindow()
    {
        AppConfig = AppConfigRecord{};
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *action = window.findChild<QAction *>(QStringLiteral("action_Event"));
        action->trigger();
        emit window.addComMessage({QDateTime::currentDateTime(), QString(), QStringLiteral("first")});
        action->trigger();
        QList<EventView *> views = window.findChildren<EventView *>();
        QCOMPARE(views.size(), 2);
        emit window.addComMessage({QDateTime::currentDateTime(), QString(), QStringLiteral("second")});
        int older = views.at(0)->model()->rowCount() == 2 ? 0 : 1;
        QCOMPARE(views.at(older)->model()->rowCount(), 2);
        QCOMPARE(views.at(1 - older)->model()->rowCount(), 1);
        QCOMPARE(views.at(1 - older)->model()->item(0, 3)->text(), QStringLiteral("second"));

        const QRect screen = window.screen()->geometry();
        for (EventView *v : views) {
            QVERIFY(v->isVisible());
            QCOMPARE(v->pos(), QPoint(screen.width() - 536 - 20, 50));
        }

        QPointer<EventView> closed = views.at(older);
        closed->close();
        QTRY_VERIFY(closed.isNull());
        action->trigger();
        views = window.findChildren<EventView *>();
        QCOMPARE(views.size(), 2);
        for (EventView *v : views)
            QVERIFY(v->model()->rowCount() <= 1);
    }

    // Opened, the log shows today's lines of the log on disk, then each new
    // one, which goes to the disk too; yesterday's stay in their file.
    void todaysLinesThenNewOnes()
    {
        AppConfig = AppConfigRecord{};
        QTemporaryDir station, days;
        QVERIFY(QDir::setCurrent(station.path()));
        QVERIFY(writeStationConfig(StationConfig{{}, {{QStringLiteral("电表1"), 1}}, false, days.path()}));
        const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
        const QString today = days.filePath(eventLogFileName(midnight.date()));
        const EventLine start{midnight, QString(), "开始采集"}, failed{midnight.addSecs(1), "电表1", "通讯失败：通讯超时"};
        QVERIFY(zeptest::writeBytes(today, (start.formatted() + '\n' + failed.formatted() + '\n').toUtf8()));
        QVERIFY(zeptest::writeBytes(days.filePath(eventLogFileName(midnight.date().addDays(-1))),
                                    "2000-01-01 00:00:00.000\t\t昨天\n"));

        MainWindow window;
        window.findChild<QAction *>(QStringLiteral("action_Event"))->trigger();
        QStandardItemModel *model = window.findChild<EventView *>()->model();
        window.station().logEvent(-1, QStringLiteral("新的一行"));
        QStringList rows;
        for (int r = 0; r < model->rowCount(); ++r)
            rows << model->item(r, 1)->text() + '|' + model->item(r, 2)->text() + '|' + model->item(r, 3)->text();
        QCOMPARE(rows, QStringList({"||开始采集", "|电表1|通讯失败：通讯超时", "0||新的一行"}));
        QCOMPARE(model->item(0, 0)->text().toLongLong(), midnight.toSecsSinceEpoch());
        QTRY_COMPARE(readEventLogs({today}).size(), 3);
    }

    // New rows are followed while the last one is in view, not once the
    // user has scrolled up.
    void followsUnlessScrolledUp()
    {
        EventView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QScrollBar *bar = view.findChild<QTableView *>()->verticalScrollBar();
        for (int i = 0; i < 50; ++i)
            view.addMessage(QString::number(i));
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(3);
        view.addMessage(QStringLiteral("more"));
        QCOMPARE(bar->value(), 3);
        bar->setValue(bar->maximum());
        view.addMessage(QStringLiteral("again"));
        QCOMPARE(bar->value(), bar->maximum());
    }
};

ZEP_TEST_MAIN(TestEventView)
#include "tst_eventview.moc"
