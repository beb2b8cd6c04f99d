#include "app/zepabout.h"

#include "app/appinfo.h"
#include "ui_zepabout.h"

ZEPAbout::ZEPAbout(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ZEPAbout>())
{
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    ui->label->setText(QStringLiteral("ZEP ") + QString::fromUtf8(kAppVersion));
}

ZEPAbout::~ZEPAbout() = default;
