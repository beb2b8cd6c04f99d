#pragma once

#include <QDialog>

#include <memory>

class DataFile;
class QStandardItemModel;

namespace Ui {
class StatDlg;
}

// Minimum, maximum and average of every quantity over a span of the whole
// file, whatever range the window it was opened from shows.
class StatDlg : public QDialog
{
    Q_OBJECT

public:
    StatDlg(QWidget *parent, DataFile *file);
    ~StatDlg() override;

private slots:
    void on_pushButton_stat_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_leftend_clicked();
    void on_pushButton_rightend_clicked();
    void on_pushButton_exit_clicked();

private:
    std::unique_ptr<Ui::StatDlg> ui;
    DataFile *dataFile;
    QStandardItemModel *model;
};

// The information shown for a span that holds no sample.
QString emptySpanMessage();
