#pragma once

#include "views/timespan.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class DataFile;
struct ExportTarget;

namespace Ui {
class ExcelExportDlg;
}

// Exports a span of a loaded data file to a workbook or a CSV file. The
// dialog stays open after an export so that another span can follow.
class ExcelExportDlg : public QDialog
{
    Q_OBJECT

public:
    ExcelExportDlg(QWidget *parent, DataFile *file);
    ~ExcelExportDlg() override;

    // The span as the form shows it now, checked against the file.
    SpanDecision formSpan() const;

private slots:
    void on_pushButton_export_clicked();
    void on_pushButton_leftend_clicked();
    void on_pushButton_rightend_clicked();
    void on_pushButton_exit_clicked();

private:
    // Writes the span to the target with the bar following; the message box
    // that ends an export.
    void exportTo(const SpanDecision &span, const ExportTarget &target);

    std::unique_ptr<Ui::ExcelExportDlg> ui;
    DataFile *dataFile;
};
