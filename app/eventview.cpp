#include "app/eventview.h"

#include "ui_eventview.h"

#include <QDateTime>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
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
    itemModel->setHorizontalHeaderLabels(
        {QStringLiteral("Tick"), QStringLiteral("Thread"), QStringLiteral("Meter"), QStringLiteral("Message")});
    ui->tableView->setModel(itemModel);
    ui->tableView->verticalHeader()->hide();
    ui->tableView->setColumnWidth(0, 70);
    ui->tableView->setColumnWidth(1, 50);
    ui->tableView->setColumnWidth(2, 60);
    ui->tableView->setColumnWidth(3, 350);
    // A reply frame is far wider than 350 pixels: the Message column takes
    // whatever width the window gives it.
    ui->tableView->horizontalHeader()->setStretchLastSection(true);
}

EventView::~EventView() = default;

EventView *openEventView(QWidget *window, std::function<bool()> acquiring, const QVector<EventLine> &earlier)
{
    QScreen *screen = window->screen();
    const QRect area = screen ? screen->geometry() : QRect();
    auto *view = new EventView(window, std::move(acquiring));
    view->showEarlierLines(earlier);
    view->show();
    view->move(area.width() - view->width() - 20, 50);
    return view;
}

void EventView::showEarlierLines(const QVector<EventLine> &lines)
{
    for (const EventLine &line : lines)
        appendRow(line, QString());
    ui->tableView->scrollToBottom();
}

void EventView::addMessage(const QString &message)
{
    addLine({QDateTime::currentDateTime(), QString(), message});
}

void EventView::addLine(const EventLine &line)
{
    QString thread = QStringLiteral("0");
    if (hasSamplingThread && hasSamplingThread())
        thread = QString::number(static_cast<qint64>(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    const QScrollBar *bar = ui->tableView->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    appendRow(line, thread);
    ui->tableView->setRowHeight(itemModel->rowCount() - 1, 20);
    if (following)
        ui->tableView->scrollToBottom();
}

void EventView::appendRow(const EventLine &line, const QString &thread)
{
    auto *tick = new QStandardItem(QString::number(line.time.toSecsSinceEpoch()));
    tick->setToolTip(line.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    itemModel->appendRow({tick, new QStandardItem(thread), new QStandardItem(line.meter), new QStandardItem(line.text)});
}
