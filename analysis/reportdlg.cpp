#include "analysis/reportdlg.h"

#include "analysis/reportchart.h"
#include "analysis/snapshot.h"
#include "data/datafile.h"
#include "ui_reportdlg.h"
#include "views/timespan.h"

#include <QApplication>
#include <QClipboard>
#include <QDoubleValidator>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrinter>
#include <QSettings>
#include <QTextDocument>

#include <cmath>

namespace {

const char kStandardKey[] = "report/standard";
const char kVoltageKey[] = "report/nominalVoltage";
const char kFrequencyKey[] = "report/nominalFrequency";
const char kSizeKey[] = "report/dialogSize";

const char kEn50160[] = "EN50160";
const char kGbT[] = "GB/T";

// The chart's size on the page, in device-independent pixels.
const QSize kChartSize(600, 260);

} // namespace

ReportSettings readReportSettings()
{
    QSettings store;
    ReportSettings s;
    ReportOptions o;
    o.standard = store.value(QLatin1String(kStandardKey)).toString() == QLatin1String(kEn50160)
                     ? PowerStandard::En50160
                     : PowerStandard::GbT;
    o.nominalVoltage = store.value(QLatin1String(kVoltageKey), o.nominalVoltage).toDouble();
    o.nominalFrequency = store.value(QLatin1String(kFrequencyKey), o.nominalFrequency).toInt();
    if (reportOptionsProblem(o).isEmpty())
        s.options = o;
    s.dialogSize = store.value(QLatin1String(kSizeKey)).toSize();
    return s;
}

void storeReportSettings(const ReportSettings &s)
{
    QSettings store;
    const bool en = s.options.standard == PowerStandard::En50160;
    store.setValue(QLatin1String(kStandardKey), QLatin1String(en ? kEn50160 : kGbT));
    store.setValue(QLatin1String(kVoltageKey), s.options.nominalVoltage);
    store.setValue(QLatin1String(kFrequencyKey), s.options.nominalFrequency);
    if (s.dialogSize.isValid())
        store.setValue(QLatin1String(kSizeKey), s.dialogSize);
}

void setUpReportPage(QPrinter &printer)
{
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                                      QPageLayout::Millimeter));
}

ReportDlg::ReportDlg(QWidget *parent, DataFile *file, const ReportSettings &settings, const DisplayConfig &d)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ReportDlg>())
    , dataFile(file)
    , display(d)
    , used(settings.options)
{
    ui->setupUi(this);
    // Digits and a decimal point only; a number the report refuses (0, a
    // field left empty) is refused with its reason on 生成.
    auto *volts = new QDoubleValidator(0, 1e6, 3, ui->lineEdit_voltage);
    volts->setNotation(QDoubleValidator::StandardNotation);
    volts->setLocale(QLocale::c());
    ui->lineEdit_voltage->setValidator(volts);
    setWindowFlags(Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    if (settings.dialogSize.isValid())
        resize(settings.dialogSize.expandedTo(minimumSizeHint()));
    ui->label_period->setText(periodText(*dataFile));
    on_pushButton_leftend_clicked();
    on_pushButton_rightend_clicked();
    showOptions(used);
    on_lineEdit_voltage_textChanged(ui->lineEdit_voltage->text());
    ui->pushButton_generate->setFocus();
}

ReportDlg::~ReportDlg() = default;

ReportSettings ReportDlg::settings() const
{
    return ReportSettings{used, size()};
}

void ReportDlg::showOptions(const ReportOptions &o)
{
    ui->comboBox_standard->setCurrentIndex(o.standard == PowerStandard::En50160 ? 1 : 0);
    ui->lineEdit_voltage->setText(QString::number(o.nominalVoltage));
    ui->comboBox_frequency->setCurrentIndex(o.nominalFrequency == 60 ? 1 : 0);
}

ReportOptions ReportDlg::chosenOptions() const
{
    ReportOptions o;
    o.standard = ui->comboBox_standard->currentIndex() == 1 ? PowerStandard::En50160 : PowerStandard::GbT;
    bool number = false;
    o.nominalVoltage = QLocale::c().toDouble(ui->lineEdit_voltage->text().trimmed(), &number);
    if (!number)
        o.nominalVoltage = std::nan("");
    o.nominalFrequency = ui->comboBox_frequency->currentIndex() == 1 ? 60 : 50;
    return o;
}

void ReportDlg::on_lineEdit_voltage_textChanged(const QString &)
{
    const ReportOptions o = chosenOptions();
    ui->label_lineVoltage->setText(reportOptionsProblem(o).isEmpty()
                                       ? QStringLiteral("V（线电压 %1 V）").arg(std::sqrt(3.0) * o.nominalVoltage, 0, 'f', 2)
                                       : QStringLiteral("V"));
}

void ReportDlg::on_pushButton_generate_clicked()
{
    const SpanDecision span =
        askedSpan(this, *dataFile, ui->dateEdit_start, ui->timeEdit_start, ui->dateEdit_end, ui->timeEdit_end);
    if (!span.ok())
        return;
    const ReportOptions options = chosenOptions();
    const QString problem = reportOptionsProblem(options);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), problem, QMessageBox::Ok);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PowerReport report =
        computePowerReport(dataFile->records, span.first, span.last, span.start, span.end, options,
                           [this](int percent) { ui->progressBar->setValue(percent); });
    ui->progressBar->setValue(100);
    chart = renderVoltageChart(report, display, kChartSize);
    model = buildReportModel(report, dataFile->fileName);
    fillReportDocument(ui->textBrowser_report->document(), model, chart);
    QApplication::restoreOverrideCursor();
    used = options;
    for (QWidget *w : {ui->pushButton_copy, ui->pushButton_pdf, ui->pushButton_print})
        w->setEnabled(true);
}

void ReportDlg::on_pushButton_copy_clicked()
{
    QGuiApplication::clipboard()->setText(reportText(model));
}

bool ReportDlg::printReport(QPrinter &printer) const
{
    const std::unique_ptr<QTextDocument> document = reportDocument(model, chart);
    // Small enough for the quality table to fit the width of the page.
    QFont font = document->defaultFont();
    font.setPointSizeF(7.5);
    document->setDefaultFont(font);
    document->print(&printer);
    return printer.printerState() != QPrinter::Error;
}

void ReportDlg::on_pushButton_pdf_clicked()
{
    savePdf(this, [this](QPrinter &printer) {
        setUpReportPage(printer);
        return printReport(printer);
    });
}

void ReportDlg::on_pushButton_print_clicked()
{
    QPrinter printer(QPrinter::HighResolution);
    setUpReportPage(printer);
    printWithDialog(printer, this, [this](QPrinter &p) { return printReport(p); });
}

void ReportDlg::on_pushButton_close_clicked()
{
    close();
}

void ReportDlg::on_pushButton_leftend_clicked()
{
    setEditsTime(ui->dateEdit_start, ui->timeEdit_start, dataFile->firstTime());
}

void ReportDlg::on_pushButton_rightend_clicked()
{
    setEditsTime(ui->dateEdit_end, ui->timeEdit_end, dataFile->lastTime());
}
