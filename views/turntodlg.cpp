#include "views/turntodlg.h"

#include "data/datafile.h"
#include "ui_turntodlg.h"
#include "views/mytableview.h"
#include "views/timespan.h"

#include <QMdiSubWindow>
#include <QMessageBox>

TurnToDecision decideTurnTo(const SampleRecord *records, int count, int firstShown, int shownCount, uint32_t time,
                            bool ascending)
{
    TurnToDecision d;
    if (count <= 0 || time < firstRecordTime(records, count) || time > lastRecordTime(records, count)) {
        d.check = TurnToCheck::OutsideFile;
        return d;
    }
    const int index = firstRecordAtOrAfter(records, count, time, ascending);
    if (index < firstShown || index >= firstShown + shownCount) {
        d.check = TurnToCheck::OutsideShown;
        return d;
    }
    d.row = index - firstShown;
    return d;
}

QString turnToMessage(TurnToCheck check)
{
    switch (check) {
    case TurnToCheck::OutsideFile:
        return QStringLiteral("时间超出了文件时间范围！");
    case TurnToCheck::OutsideShown:
        return QStringLiteral("时间超出了列表当前显示的范围！");
    case TurnToCheck::Ok:
        break;
    }
    return QString();
}

TurntoDlg::TurntoDlg(QWidget *parent, DataFile *file)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TurntoDlg>())
    , dataFile(file)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->label_period->setText(periodText(*dataFile));
    setEditsTime(ui->dateEdit, ui->timeEdit, dataFile->firstTime());
}

TurntoDlg::~TurntoDlg() = default;

MyTableView *TurntoDlg::table() const
{
    auto *window = qobject_cast<QMdiSubWindow *>(parentWidget());
    return window ? qobject_cast<MyTableView *>(window->widget()) : nullptr;
}

void TurntoDlg::on_pushButton_ok_clicked()
{
    MyTableView *view = table();
    const int firstShown = view ? view->firstRecord() : 0;
    const int shown = view ? view->shownRecords() : int(dataFile->count);
    const TurnToDecision d = decideTurnTo(dataFile->records, int(dataFile->count), firstShown, shown,
                                          editsTime(ui->dateEdit, ui->timeEdit), dataFile->timesAscending());
    if (d.check != TurnToCheck::Ok) {
        QMessageBox::warning(this, QStringLiteral("错误"), turnToMessage(d.check), QMessageBox::Ok);
        return;
    }
    if (view) {
        view->selectRow(d.row);
        view->scrollTo(view->model()->index(d.row, 0));
    }
    accept();
}

void TurntoDlg::on_pushButton_cancel_clicked()
{
    close();
}
