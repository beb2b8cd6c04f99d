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

QLabel *createVersionLabel(QWidget *window)
{
    auto *versionLabel = new QLabel(window);
    QFont font = versionLabel->font();
    font.setPointSize(40);
    font.setWeight(75);
    versionLabel->setFont(font);
    QPalette palette = versionLabel->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, Qt::darkBlue);
    versionLabel->setPalette(palette);
    versionLabel->resize(230, 40);
    versionLabel->setText(QStringLiteral("ZEP ") + QString::fromUtf8(kAppVersion));
    return versionLabel;
}
