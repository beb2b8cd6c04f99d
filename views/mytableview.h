#pragma once

#include <QTableView>

#include <cstdint>

class DataFile;
class RecordTableModel;

// The table window of a data file: one row per sample, the time and the 31
// values, read-only. The cells are formatted when they are shown, so a
// million rows cost no more to open than ten.
class MyTableView : public QTableView
{
    Q_OBJECT

public:
    // The file must outlive the view; the view never changes it.
    explicit MyTableView(DataFile *file, QWidget *parent = nullptr);
    ~MyTableView() override;

    DataFile *dataFile() const { return m_dataFile; }

    double findValue() const { return m_findValue; }
    double findBand() const { return m_findBand; }
    int findPara() const { return m_findPara; }
    bool findStarted() const { return m_findStarted; }
    int findDlgX() const { return m_findDlgX; }
    int findDlgY() const { return m_findDlgY; }

    // Shows samples first..last of the file; last < 0 means all of them.
    void loadRows(int first, int last);
    // The file index of the sample in row 0, and the number of rows.
    int firstRecord() const;
    int shownRecords() const;
    // The text of a row's time cell.
    QString timeText(int row) const;

    // The selection as the Copy action puts it on the clipboard; empty when
    // nothing is selected.
    QString selectionText() const;
    void copySelection() const;

public slots:
    void setxRange(uint32_t starttime, uint32_t endtime);
    void find(double value, double band, int para);
    void findNext(bool forward);
    void recFindDlgPos(int x, int y);

private:
    void fitColumns();

    DataFile *m_dataFile;
    RecordTableModel *m_model = nullptr;
    double m_findValue = 0;
    double m_findBand = 0.05;
    int m_findPara = 0;
    bool m_findStarted = false;
    int m_findDlgX = -255;
    int m_findDlgY = -255;
};
