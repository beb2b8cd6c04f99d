#include "app/eventview.h"
#include "app/mainwindow.h"
#include "data/appconfig.h"
#include "testsupport.h"

#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QScreen>
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
        QCOMPARE(view.size(), QSize(476, 235));
        QVERIFY(view.testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(view.windowFlags() & Qt::WindowCloseButtonHint);
        auto *table = view.findChild<QTableView *>(QStringLiteral("tableView"));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->columnWidth(0), 70);
        QCOMPARE(table->columnWidth(1), 50);
        QCOMPARE(table->columnWidth(2), 350);
        QStandardItemModel *model = view.model();
        QCOMPARE(model->columnCount(), 3);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Tick"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Thread"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Message"));
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
        QTRY_COMPARE(table->columnWidth(2), viewport - 70 - 50);
        QVERIFY(table->columnWidth(2) >= 340);
        view.resize(1200, 235);
        QTRY_COMPARE(table->viewport()->width(), viewport + 1200 - 476);
        QTRY_COMPARE(table->columnWidth(2), table->viewport()->width() - 70 - 50);
        QCOMPARE(table->columnWidth(0), 70);
        QCOMPARE(table->columnWidth(1), 50);
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
        view.addMessage(QStringLiteral("Recv:01 04"));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QStandardItemModel *model = view.model();
        QCOMPARE(model->rowCount(), 2);
        const qint64 tick = model->item(0, 0)->text().toLongLong();
        QVERIFY(tick >= before && tick <= after);
        const QString expectedThread = acquiring
            ? QString::number(qint64(reinterpret_cast<quintptr>(QThread::currentThreadId())))
            : QStringLiteral("0");
        QCOMPARE(model->item(1, 1)->text(), expectedThread);
        QCOMPARE(model->item(0, 2)->text(), QStringLiteral("Send:01 04 00 00 00 3A 71 DB"));
        QCOMPARE(model->item(1, 2)->text(), QStringLiteral("Recv:01 04"));
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
        emit window.addComMessage(QStringLiteral("first"));
        action->trigger();
        QList<EventView *> views = window.findChildren<EventView *>();
        QCOMPARE(views.size(), 2);
        emit window.addComMessage(QStringLiteral("second"));
        int older = views.at(0)->model()->rowCount() == 2 ? 0 : 1;
        QCOMPARE(views.at(older)->model()->rowCount(), 2);
        QCOMPARE(views.at(1 - older)->model()->rowCount(), 1);
        QCOMPARE(views.at(1 - older)->model()->item(0, 2)->text(), QStringLiteral("second"));

        const QRect screen = window.screen()->geometry();
        for (EventView *v : views) {
            QVERIFY(v->isVisible());
            QCOMPARE(v->pos(), QPoint(screen.width() - 476 - 20, 50));
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
};

ZEP_TEST_MAIN(TestEventView)
#include "tst_eventview.moc"
