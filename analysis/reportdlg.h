#pragma once

#include "analysis/powerreport.h"
#include "analysis/reportmodel.h"
#include "data/appconfig.h"

#include <QDialog>
#include <QImage>
#include <QSize>

#include <memory>

class DataFile;
class QPrinter;

namespace Ui {
class ReportDlg;
}

// What the report dialog keeps: in the per-user settings store the options
// but the tariff, the dialog's size and who made the report; the tariff in
// the working directory (config/tariff.ini).
struct ReportSettings {
    ReportOptions options;
    // Empty: the form's own size.
    QSize dialogSize;
    QString author;
    // Why the working directory's tariff file was refused; the report then
    // says so instead of splitting the energy.
    QString tariffProblem;
};

// The stored settings; options that could make no report give way to the
// defaults. The tariff is the working directory's.
ReportSettings readReportSettings();
void storeReportSettings(const ReportSettings &settings);

// An A4 page for the report on paper or in a PDF. Its margins of 5 mm come
// on top of the 2 cm that the report keeps free around its text.
void setUpReportPage(QPrinter &printer);

// "电能质量报告 - <subject> - <span>", the PDF's title.
QString reportDocumentTitle(const QString &subject, const QString &span);

// The report on the printer's pages, each numbered "第 N 页 共 M 页" at its
// foot. The chart goes where it fits: where it would leave more than a
// fifth of a page empty before it, the sections after it fill that page
// first. false when the printer could not be started.
bool printReportPages(const ReportModel &model, const QImage &chart, QPrinter &printer);

// The energy and power-quality report of a span of the whole file, whatever
// range the window it was opened from shows.
class ReportDlg : public QDialog
{
    Q_OBJECT

public:
    ReportDlg(QWidget *parent, DataFile *file, const ReportSettings &settings, const DisplayConfig &display);
    ~ReportDlg() override;

    // The options of the last report made (until then, those given) and
    // the dialog's size, to be kept for the next time.
    ReportSettings settings() const;

private slots:
    void on_pushButton_generate_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_pdf_clicked();
    void on_pushButton_print_clicked();
    void on_pushButton_close_clicked();
    void on_pushButton_leftend_clicked();
    void on_pushButton_rightend_clicked();
    void on_lineEdit_voltage_textChanged(const QString &text);
    void on_pushButton_tariff_clicked();

private:
    ReportOptions chosenOptions() const;
    void showOptions(const ReportOptions &options);
    bool printReport(QPrinter &printer) const;

    std::unique_ptr<Ui::ReportDlg> ui;
    DataFile *dataFile;
    DisplayConfig display;
    ReportOptions used;
    TariffTable tariff;
    QString tariffProblem;
    ReportModel model;
    QImage chart;
    // The title of the report made last.
    QString documentTitle;
};
