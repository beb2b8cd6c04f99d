#include "views/finddlg.h"

#include "data/paramtable.h"
#include "ui_finddlg.h"
#include "views/mytableview.h"

namespace {
// What a table holds when no Find dialog of it has closed yet.
constexpr int kNoPosition = -255;
} // namespace

FindDlg::FindDlg(QWidget *parent, double value, double band, int para)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FindDlg>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->lineEditValue->setText(QString::number(value, 'g', 6));
    ui->lineEditBand->setText(QString::number(band, 'g', 6));
    for (int column = 1; column < kColumnCount; ++column)
        ui->comboBoxPara->addItem(QString::fromLatin1(ParamTable[column].name).simplified());
    ui->comboBoxPara->setCurrentIndex(para);
}

FindDlg::~FindDlg()
{
    emit dlgpos(x(), y());
}

void FindDlg::on_pushButton_ok_clicked()
{
    // QString::toDouble reads the C locale whatever the system's is, and gives
    // 0 for text that is not a number.
    const double value = ui->lineEditValue->text().toDouble();
    const double band = ui->lineEditBand->text().toDouble();
    emit find(value, band, ui->comboBoxPara->currentIndex());
    close();
}

void FindDlg::on_pushButton_cancel_clicked()
{
    close();
}

FindDlg *openFindDlg(QWidget *window, MyTableView *table)
{
    auto *dialog = new FindDlg(window, table->findValue(), table->findBand(), table->findPara());
    QObject::connect(dialog, &FindDlg::find, table, &MyTableView::find);
    QObject::connect(dialog, &FindDlg::dlgpos, table, &MyTableView::recFindDlgPos);
    if (table->findDlgX() != kNoPosition && table->findDlgY() != kNoPosition)
        dialog->move(table->findDlgX(), table->findDlgY());
    dialog->show();
    return dialog;
}
