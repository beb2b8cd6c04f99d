#pragma once

#include <QDialog>

#include <memory>

class MyTableView;

namespace Ui {
class FindDlg;
}

// Asks for a value, a tolerance and the quantity to search. The values travel
// in find(); the dialog deletes itself when closed and reports where it stood
// so that the next one of the same table opens there.
class FindDlg : public QDialog
{
    Q_OBJECT

public:
    // para: 0 for all quantities, otherwise the table column 1..31.
    FindDlg(QWidget *parent, double value, double band, int para);
    ~FindDlg() override;

signals:
    void find(double value, double band, int para);
    void dlgpos(int x, int y);

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();

private:
    std::unique_ptr<Ui::FindDlg> ui;
};

// Shows a Find dialog for the table in window, filled from the table's last
// search, at the place where its previous one closed, and talking to that
// table only. The dialog does not block.
FindDlg *openFindDlg(QWidget *window, MyTableView *table);
