#pragma once

#include "analysis/tariff.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TariffDlg;
}

// The editor of the time-of-use periods and prices. OK is refused, with the
// reason, while the table leaves a minute without a type or gives it two.
class TariffDlg : public QDialog
{
    Q_OBJECT

public:
    TariffDlg(QWidget *parent, const TariffTable &table);
    ~TariffDlg() override;

    // The table accepted with OK.
    TariffTable table() const { return accepted; }

public slots:
    void accept() override;

private slots:
    void on_pushButton_add_clicked();
    void on_pushButton_remove_clicked();
    void on_pushButton_default_clicked();

private:
    void showTable(const TariffTable &table);
    void addRow(const TariffRowText &row);

    std::unique_ptr<Ui::TariffDlg> ui;
    TariffTable accepted;
};
