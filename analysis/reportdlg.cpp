#include "analysis/reportdlg.h"

#include "analysis/reportchart.h"
#include "analysis/snapshot.h"
#include "data/datafile.h"
#include "ui_reportdlg.h"
#include "views/timespan.h"

#include "analysis/tariffdlg.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDoubleValidator>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cmath>

namespace {

const char kStandardKey[] = "report/standard";
const char kVoltageKey[] = "report/nominalVoltage";
const char kFrequencyKey[] = "report/nominalFrequency";
const char kSizeKey[] = "report/dialogSize";
const char kAuthorKey[] = "report/author";

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
    s.author = store.value(QLatin1String(kAuthorKey)).toString();
    s.options.tariff = readTariffFile(tariffFilePath(), &s.tariffProblem);
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
    store.setValue(QLatin1String(kAuthorKey), s.author);
}

namespace {

// The report's font on paper: small enough for the quality table to fit
// the width of the page.
constexpr qreal kPrintPointSize = 7.5;
// The space kept free above and below the text of each page, inside the
// page's own margins (the page numbers stand in the lower one), and beside
// it.
constexpr qreal kPrintMarginCm = 2;
constexpr qreal kPrintSideMarginCm = 1.5;

int chartBlock(const QTextDocument &document)
{
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat() && f.toImageFormat().name() == reportChartName())
                return b.blockNumber();
        }
    }
    return -1;
}

// Whether the chart was moved to a new page leaving more than a fifth of
// the page before it empty.
bool chartLeavesGap(const QTextDocument &document)
{
    const int number = chartBlock(document);
    if (number <= 0)
        return false;
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    const QRectF chart = layout->blockBoundingRect(document.findBlockByNumber(number));
    const QRectF before = layout->blockBoundingRect(document.findBlockByNumber(number - 1));
    const qreal page = document.pageSize().height();
    const bool newPage = std::floor(chart.top() / page) > std::floor(before.bottom() / page);
    return newPage && std::ceil(before.bottom() / page) * page - before.bottom() > page / 5;
}

// Moves the chart past the next section; false when it is last.
bool moveChartOn(ReportModel &model)
{
    QVector<ReportBlock> &blocks = model.blocks;
    const auto chart = std::find_if(blocks.begin(), blocks.end(),
                                    [](const ReportBlock &b) { return b.kind == ReportBlock::Chart; });
    if (chart == blocks.end() || chart + 1 == blocks.end())
        return false;
    auto next = std::find_if(chart + 2, blocks.end(), [](const ReportBlock &b) {
        return b.kind == ReportBlock::Heading || b.kind == ReportBlock::Subheading;
    });
    std::rotate(chart, chart + 1, next);
    return true;
}

void layOut(QTextDocument &document, const ReportModel &model, const QImage &chart, const QSizeF &page, qreal margin)
{
    fillReportDocument(&document, model, chart);
    document.setPageSize(page);
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setMargin(margin);
    frame.setLeftMargin(margin * kPrintSideMarginCm / kPrintMarginCm);
    frame.setRightMargin(margin * kPrintSideMarginCm / kPrintMarginCm);
    document.rootFrame()->setFrameFormat(frame);
}

} // namespace

QString reportDocumentTitle(const QString &subject, const QString &span)
{
    return QStringLiteral("电能质量报告 - %1 - %2").arg(subject, span);
}

bool printReportPages(const ReportModel &model, const QImage &chart, QPrinter &printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // Laid out as on the screen, in device-independent pixels, and drawn
    // enlarged to the printer's resolution.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal sourceDpi = screen ? screen->logicalDotsPerInchY() : 96;
    const qreal scale = printer.logicalDpiY() / sourceDpi;
    const QSizeF page(printer.width() / scale, printer.height() / scale);
    const qreal margin = kPrintMarginCm / 2.54 * sourceDpi;
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSizeF(kPrintPointSize);
    document.setDefaultFont(font);

    ReportModel placed = model;
    layOut(document, placed, chart, page, margin);
    while (chartLeavesGap(document) && moveChartOn(placed))
        layOut(document, placed, chart, page, margin);

    const int pages = document.pageCount();
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    painter.scale(scale, scale);
    // In the units of the layout, not the printer's.
    QFont foot = font;
    foot.setPixelSize(qRound(kPrintPointSize * sourceDpi / 72));
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        painter.save();
        const QRectF view(0, i * page.height(), page.width(), page.height());
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        context.clip = view;
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.setFont(foot);
        const QRectF footer(0, page.height() - margin, page.width(), margin);
        painter.drawText(footer, Qt::AlignCenter, QStringLiteral("第 %1 页 共 %2 页").arg(i + 1).arg(pages));
    }
    return painter.end();
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
    , tariff(settings.options.tariff)
    , tariffProblem(settings.tariffProblem)
{
    ui->setupUi(this);
    ui->lineEdit_subject->setText(QFileInfo(file->fileName).completeBaseName());
    ui->lineEdit_author->setText(settings.author);
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
    ReportSettings s{used, size(), ui->lineEdit_author->text().trimmed(), tariffProblem};
    s.options.tariff = tariff;
    return s;
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
    o.tariff = tariff;
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
    PowerReport report =
        computePowerReport(dataFile->records, span.first, span.last, span.start, span.end, options,
                           [this](int percent) { ui->progressBar->setValue(percent); });
    if (!tariffProblem.isEmpty())
        report.tariffProblem = tariffProblem;
    ui->progressBar->setValue(100);
    chart = renderVoltageChart(report, display, kChartSize);
    const ReportHeader header{ui->lineEdit_subject->text(), ui->lineEdit_author->text()};
    model = buildReportModel(report, dataFile->fileName, header);
    documentTitle = reportDocumentTitle(header.subject.trimmed(), reportSpanText(report));
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
    printer.setDocName(documentTitle);
    return printReportPages(model, chart, printer);
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

void ReportDlg::on_pushButton_tariff_clicked()
{
    // A refused file's table is no start for editing: the common one is.
    TariffDlg dialog(this, tariffProblem.isEmpty() ? tariff : defaultTariffTable());
    if (dialog.exec() != QDialog::Accepted)
        return;
    tariff = dialog.table();
    tariffProblem.clear();
    if (!writeTariffFile(tariffFilePath(), tariff))
        QMessageBox::warning(this, QStringLiteral("错误"),
                             QStringLiteral("无法写入文件：%1").arg(QDir::toNativeSeparators(tariffFilePath())),
                             QMessageBox::Ok);
    if (ui->pushButton_copy->isEnabled())
        on_pushButton_generate_clicked();
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
