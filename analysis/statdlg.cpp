#include "analysis/statdlg.h"

#include "analysis/spanstatistics.h"
#include "data/datafile.h"
#include "ui_statdlg.h"
#include "views/timespan.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QStandardItemModel>

QString emptySpanMessage()
{
    return QStringLiteral("所选时间范围内没有数据，未进行统计！");
}

StatDlg::StatDlg(QWidget *parent, DataFile *file)
    : QDialog(parent)
    , ui(std::make_unique<Ui::StatDlg>())
    , dataFile(file)
    , model(new QStandardItemModel(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->label_period->setText(periodText(*dataFile));
    on_pushButton_leftend_clicked();
    on_pushButton_rightend_clicked();

    QHeaderView *rows = ui->tableView->verticalHeader();
    rows->setMinimumSectionSize(20);
    rows->setDefaultSectionSize(20);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->tableView->horizontalHeader()->setStretchLastSection(true);
    setUpStatisticsModel(model);
    ui->tableView->setModel(model);
}

StatDlg::~StatDlg() = default;

void StatDlg::on_pushButton_stat_clicked()
{
    const SpanDecision span =
        askedSpan(this, *dataFile, ui->dateEdit_start, ui->timeEdit_start, ui->dateEdit_end, ui->timeEdit_end);
    if (!span.ok())
        return;
    // A span between two samples would average nothing; the last results
    // stay as they were.
    if (span.size() <= 0) {
        QMessageBox::information(this, QStringLiteral("提示"), emptySpanMessage(), QMessageBox::Ok);
        return;
    }
    const SpanStatistics stats =
        spanStatistics(dataFile->records, span.first, span.last, [this](int percent) { ui->progressBar->setValue(percent); });
    fillStatisticsModel(model, stats);
    ui->pushButton_copy->setEnabled(true);
    // Away from the date edits, whose own Ctrl+C would copy their text
    // instead of the copy button's shortcut taking all the results.
    ui->tableView->setFocus();
}

void StatDlg::on_pushButton_copy_clicked()
{
    QGuiApplication::clipboard()->setText(modelText(*model));
}

void StatDlg::on_pushButton_leftend_clicked()
{
    setEditsTime(ui->dateEdit_start, ui->timeEdit_start, dataFile->firstTime());
}

void StatDlg::on_pushButton_rightend_clicked()
{
    setEditsTime(ui->dateEdit_end, ui->timeEdit_end, dataFile->lastTime());
}

void StatDlg::on_pushButton_exit_clicked()
{
    close();
}
