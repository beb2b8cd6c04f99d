#include "analysis/excelexportdlg.h"

#include "analysis/csvexport.h"
#include "analysis/excelexport.h"
#include "data/datafile.h"
#include "ui_excelexportdlg.h"
#include "views/savedialog.h"
#include "views/timespan.h"
#include "views/widgetbrush.h"

#include <QDir>
#include <QMessageBox>

ExcelExportDlg::ExcelExportDlg(QWidget *parent, DataFile *file)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ExcelExportDlg>())
    , dataFile(file)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    decorateSidePanel(ui->widget, QStringLiteral(":/png/excel.png"), 29, height() / 2);
    ui->label_period->setText(periodText(*dataFile));
    on_pushButton_leftend_clicked();
    on_pushButton_rightend_clicked();
}

ExcelExportDlg::~ExcelExportDlg() = default;

SpanDecision ExcelExportDlg::formSpan() const
{
    return decideSpan(*dataFile, editsTime(ui->dateEdit_start, ui->timeEdit_start),
                      editsTime(ui->dateEdit_end, ui->timeEdit_end));
}

void ExcelExportDlg::on_pushButton_export_clicked()
{
    const SpanDecision span =
        askedSpan(this, *dataFile, ui->dateEdit_start, ui->timeEdit_start, ui->dateEdit_end, ui->timeEdit_end);
    if (!span.ok())
        return;
    QString filter;
    const auto rule = [](const QString &typed, const QString &f) { return exportTarget(typed, f).fileName; };
    const QString name = askSaveName(this, tr("Excel导出文件"), exportFilters(), &filter, rule);
    if (!name.isEmpty())
        exportTo(span, exportTarget(name, filter));
}

void ExcelExportDlg::exportTo(const SpanDecision &span, const ExportTarget &target)
{
    ui->progressBar->setValue(0);
    const auto bar = [this](int percent) { ui->progressBar->setValue(percent); };
    const ExportResult result = target.format == ExportFormat::Csv
                                    ? exportSpanCsv(*dataFile, span, target.fileName, bar)
                                    : exportSpan(*dataFile, span, target.fileName, bar);
    if (!result.ok()) {
        QMessageBox::warning(this, QStringLiteral("错误"), exportFailureText(result, target.fileName),
                             QMessageBox::Ok);
        return;
    }
    const QString done = QStringLiteral("数据已导出到 %1").arg(QDir::toNativeSeparators(target.fileName));
    QMessageBox::information(this, QStringLiteral("提示"), done, QMessageBox::Ok);
}

void ExcelExportDlg::on_pushButton_leftend_clicked()
{
    setEditsTime(ui->dateEdit_start, ui->timeEdit_start, dataFile->firstTime());
}

void ExcelExportDlg::on_pushButton_rightend_clicked()
{
    setEditsTime(ui->dateEdit_end, ui->timeEdit_end, dataFile->lastTime());
}

void ExcelExportDlg::on_pushButton_exit_clicked()
{
    close();
}
