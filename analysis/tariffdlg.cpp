#include "analysis/tariffdlg.h"

#include "ui_tariffdlg.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QHeaderView>
#include <QMessageBox>

namespace {

enum Column { StartColumn, EndColumn, TypeColumn, MonthsColumn };

} // namespace

TariffDlg::TariffDlg(QWidget *parent, const TariffTable &table)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TariffDlg>())
    , accepted(table)
{
    ui->setupUi(this);
    // The four columns share the width, so 月份 is never behind a scroll bar.
    ui->tableWidget_periods->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (QLineEdit *price : {ui->lineEdit_price0, ui->lineEdit_price1, ui->lineEdit_price2, ui->lineEdit_price3}) {
        auto *number = new QDoubleValidator(0, 1e6, 6, price);
        number->setNotation(QDoubleValidator::StandardNotation);
        number->setLocale(QLocale::c());
        price->setValidator(number);
    }
    showTable(table);
}

TariffDlg::~TariffDlg() = default;

void TariffDlg::addRow(const TariffRowText &row)
{
    QTableWidget *t = ui->tableWidget_periods;
    const int r = t->rowCount();
    t->insertRow(r);
    t->setItem(r, StartColumn, new QTableWidgetItem(row.start));
    t->setItem(r, EndColumn, new QTableWidgetItem(row.end));
    t->setItem(r, MonthsColumn, new QTableWidgetItem(row.months));
    auto *type = new QComboBox(t);
    for (int k = 0; k < kTariffTypeCount; ++k)
        type->addItem(tariffTypeName(k));
    type->setCurrentText(row.type);
    t->setCellWidget(r, TypeColumn, type);
}

void TariffDlg::showTable(const TariffTable &table)
{
    ui->tableWidget_periods->setRowCount(0);
    for (const TariffPeriod &p : table.periods)
        addRow({clockText(p.start), clockText(p.end), tariffTypeName(p.type), monthsText(p.months)});
    QLineEdit *const prices[kTariffTypeCount] = {ui->lineEdit_price0, ui->lineEdit_price1, ui->lineEdit_price2,
                                                 ui->lineEdit_price3};
    for (int k = 0; k < kTariffTypeCount; ++k)
        prices[k]->setText(table.hasPrice(k) ? QString::number(table.prices[size_t(k)], 'g', 10) : QString());
}

void TariffDlg::accept()
{
    const QTableWidget *t = ui->tableWidget_periods;
    QVector<TariffRowText> rows;
    const auto text = [t](int r, int c) { return t->item(r, c) ? t->item(r, c)->text() : QString(); };
    for (int r = 0; r < t->rowCount(); ++r) {
        const auto *type = qobject_cast<const QComboBox *>(t->cellWidget(r, TypeColumn));
        rows.append({text(r, StartColumn), text(r, EndColumn), type ? type->currentText() : QString(),
                     text(r, MonthsColumn)});
    }
    const QVector<QString> prices{ui->lineEdit_price0->text(), ui->lineEdit_price1->text(),
                                  ui->lineEdit_price2->text(), ui->lineEdit_price3->text()};
    const QString problem = parseTariffTable(rows, prices, &accepted);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), problem, QMessageBox::Ok);
        return;
    }
    QDialog::accept();
}

void TariffDlg::on_pushButton_add_clicked()
{
    addRow({QStringLiteral("00:00"), QStringLiteral("00:00"), tariffTypeName(TariffFlat), QStringLiteral("1-12")});
    ui->tableWidget_periods->setCurrentCell(ui->tableWidget_periods->rowCount() - 1, StartColumn);
}

void TariffDlg::on_pushButton_remove_clicked()
{
    const int r = ui->tableWidget_periods->currentRow();
    if (r >= 0)
        ui->tableWidget_periods->removeRow(r);
}

void TariffDlg::on_pushButton_default_clicked()
{
    showTable(defaultTariffTable());
}
