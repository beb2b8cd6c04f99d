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
    // The bold version line is wider than its place in fonts other than the
    // Windows ones; let it grow to the right rather than lose its end.
    ui->label->resize(qMax(ui->label->width(), ui->label->sizeHint().width()), ui->label->height());
}

ZEPAbout::~ZEPAbout() = default;
