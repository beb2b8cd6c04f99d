#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

class DataFile;
class MyTableView;
struct SampleRecord;

namespace Ui {
class TurntoDlg;
}

enum class TurnToCheck { Ok, OutsideFile, OutsideShown };

struct TurnToDecision {
    TurnToCheck check = TurnToCheck::Ok;
    // Row of the sample among the rows shown.
    int row = -1;
};

// Go-to picks the first sample at or after time. A table restricted to a
// span shows records firstShown .. firstShown + shownCount - 1; a sample
// outside them has no row to select.
TurnToDecision decideTurnTo(const SampleRecord *records, int count, int firstShown, int shownCount, uint32_t time,
                            bool ascending);
QString turnToMessage(TurnToCheck check);

// Jumps the table of its parent sub-window to a moment of the file.
class TurntoDlg : public QDialog
{
    Q_OBJECT

public:
    // parent: the table's sub-window.
    TurntoDlg(QWidget *parent, DataFile *file);
    ~TurntoDlg() override;

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();

private:
    MyTableView *table() const;

    std::unique_ptr<Ui::TurntoDlg> ui;
    DataFile *dataFile;
};
