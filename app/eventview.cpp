#include "app/eventview.h"

#include "ui_eventview.h"

#include <QDateTime>
#include <QHeaderView>
#include <QScreen>
#include <QStandardItemModel>
#include <QThread>

EventView::EventView(QWidget *parent, std::function<bool()> acquiring)
    : QWidget(parent)
    , ui(std::make_unique<Ui::EventView>())
    , hasSamplingThread(std::move(acquiring))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    itemModel = new QStandardItemModel(this);
    itemModel->setHorizontalHeaderLabels({QStringLiteral("Tick"), QStringLiteral("Thread"), QStringLiteral("Message")});
    ui->tableView->setModel(itemModel);
    ui->tableView->verticalHeader()->hide();
    ui->tableView->setColumnWidth(0, 70);
    ui->tableView->setColumnWidth(1, 50);
    ui->tableView->setColumnWidth(2, 350);
    // A reply frame is far wider than 350 pixels: the Message column takes
    // whatever width the window gives it.
    ui->tableView->horizontalHeader()->setStretchLastSection(true);
}

EventView::~EventView() = default;

EventView *openEventView(QWidget *window, std::function<bool()> acquiring)
{
    QScreen *screen = window->screen();
    const QRect area = screen ? screen->geometry() : QRect();
    auto *view = new EventView(window, std::move(acquiring));
    view->show();
    view->move(area.width() - view->width() - 20, 50);
    return view;
}

void EventView::addMessage(const QString &message)
{
    const int row = itemModel->rowCount();
    const QString tick = QString::number(QDateTime::currentSecsSinceEpoch());
    QString thread = QStringLiteral("0");
    if (hasSamplingThread && hasSamplingThread())
        thread = QString::number(static_cast<qint64>(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    itemModel->setItem(row, 0, new QStandardItem(tick));
    itemModel->setItem(row, 1, new QStandardItem(thread));
    itemModel->setItem(row, 2, new QStandardItem(message));
    ui->tableView->setRowHeight(row, 20);
}
