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

// What the report dialog keeps in the per-user settings store.
struct ReportSettings {
    ReportOptions options;
    // Empty: the form's own size.
    QSize dialogSize;
};

// The stored settings; options that could make no report give way to the
// defaults.
ReportSettings readReportSettings();
void storeReportSettings(const ReportSettings &settings);

// An A4 page for the report on paper or in a PDF. Its margins of 5 mm come
// on top of the 2 cm that a document printed as a whole keeps free.
void setUpReportPage(QPrinter &printer);

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

private:
    ReportOptions chosenOptions() const;
    void showOptions(const ReportOptions &options);
    bool printReport(QPrinter &printer) const;

    std::unique_ptr<Ui::ReportDlg> ui;
    DataFile *dataFile;
    DisplayConfig display;
    ReportOptions used;
    ReportModel model;
    QImage chart;
};
