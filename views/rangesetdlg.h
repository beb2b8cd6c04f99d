#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

class DataFile;
class MyTableView;
class QwtPlot;

namespace Ui {
class RangeSetDlg;
}

// Chooses the span of time a table or a trend plot shows.
class RangeSetDlg : public QDialog
{
    Q_OBJECT

public:
    RangeSetDlg(QWidget *parent, DataFile *file);
    ~RangeSetDlg() override;

    // 0 stands for the file's first (start) or last (end) sample's time.
    void setRange(uint32_t start, uint32_t end);

signals:
    void setRangeTime(uint32_t start, uint32_t end);

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();
    void on_pushButton_leftend_clicked();
    void on_pushButton_rightend_clicked();

private:
    std::unique_ptr<Ui::RangeSetDlg> ui;
    DataFile *dataFile;
};

// The span a window shows now, as setRange takes it.
struct ShownSpan {
    uint32_t start = 0;
    uint32_t end = 0;
};

// The plot's time axis, each end truncated to a whole second and kept within
// what a sample time can hold.
ShownSpan plotSpan(const QwtPlot &plot);
// The time cells of the table's first and last rows read back; a table that
// shows no rows offers the file's whole span.
ShownSpan tableSpan(const MyTableView &table);
// A "yyyy-MM-dd hh:mm:ss" local time cell in seconds; 0 when it does not read.
uint32_t timeCellSeconds(const QString &text);
// An axis value in seconds, truncated toward zero and bounded to 0..2^32-1;
// 0 when it is not a number.
uint32_t boundedAxisSecond(double value);
