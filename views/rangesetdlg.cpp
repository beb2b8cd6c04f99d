#include "views/rangesetdlg.h"

#include "data/datafile.h"
#include "ui_rangesetdlg.h"
#include "views/mytableview.h"
#include "views/timespan.h"

#include <QDateTime>
#include <QMessageBox>

#include <qwt_plot.h>
#include <qwt_scale_div.h>

#include <cmath>

uint32_t boundedAxisSecond(double value)
{
    if (std::isnan(value) || value <= 0)
        return 0;
    if (value >= 4294967295.0)
        return 0xFFFFFFFFu;
    return uint32_t(value);
}

uint32_t timeCellSeconds(const QString &text)
{
    const QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!time.isValid())
        return 0;
    return uint32_t(qBound<qint64>(0, time.toSecsSinceEpoch(), 0xFFFFFFFFLL));
}

ShownSpan plotSpan(const QwtPlot &plot)
{
    const QwtScaleDiv &axis = plot.axisScaleDiv(QwtPlot::xBottom);
    return {boundedAxisSecond(axis.lowerBound()), boundedAxisSecond(axis.upperBound())};
}

ShownSpan tableSpan(const MyTableView &table)
{
    const int rows = table.shownRecords();
    if (rows <= 0)
        return {};
    return {timeCellSeconds(table.timeText(0)), timeCellSeconds(table.timeText(rows - 1))};
}

RangeSetDlg::RangeSetDlg(QWidget *parent, DataFile *file)
    : QDialog(parent)
    , ui(std::make_unique<Ui::RangeSetDlg>())
    , dataFile(file)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->label_period->setText(periodText(*dataFile));
    setRange(0, 0);
}

RangeSetDlg::~RangeSetDlg() = default;

void RangeSetDlg::setRange(uint32_t start, uint32_t end)
{
    setEditsTime(ui->dateEdit_start, ui->timeEdit_start, start ? start : dataFile->firstTime());
    setEditsTime(ui->dateEdit_end, ui->timeEdit_end, end ? end : dataFile->lastTime());
}

void RangeSetDlg::on_pushButton_ok_clicked()
{
    const SpanDecision span =
        askedSpan(this, *dataFile, ui->dateEdit_start, ui->timeEdit_start, ui->dateEdit_end, ui->timeEdit_end);
    if (!span.ok())
        return;
    emit setRangeTime(span.start, span.end);
    accept();
}

void RangeSetDlg::on_pushButton_cancel_clicked()
{
    close();
}

void RangeSetDlg::on_pushButton_leftend_clicked()
{
    setEditsTime(ui->dateEdit_start, ui->timeEdit_start, dataFile->firstTime());
}

void RangeSetDlg::on_pushButton_rightend_clicked()
{
    setEditsTime(ui->dateEdit_end, ui->timeEdit_end, dataFile->lastTime());
}
