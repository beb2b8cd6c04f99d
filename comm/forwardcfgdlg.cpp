#include "comm/forwardcfgdlg.h"

#include "comm/stationsettings.h"
#include "ui_forwardcfgdlg.h"
#include "views/widgetbrush.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

ForwardCfgDlg::ForwardCfgDlg(QWidget *parent, bool acquiring)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ForwardCfgDlg>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!acquiring);
    decorateSidePanel(ui->widget, QStringLiteral(":/png/config.png"), 32, height() / 2);
    const ForwardConfig c = readStationConfig(AppConfig.comm).forwarding;
    ui->checkBox_enabled->setChecked(c.enabled);
    ui->groupBox_broker->setEnabled(c.enabled);
    ui->lineEdit_server->setText(c.server);
    ui->lineEdit_user->setText(c.user);
    ui->lineEdit_password->setText(c.password);
    ui->lineEdit_prefix->setText(c.prefix);
    ui->checkBox_discovery->setChecked(c.discovery);
    ui->checkBox_tls->setChecked(c.tls);
    ui->lineEdit_caFile->setText(QDir::toNativeSeparators(c.caFile));
    ui->lineEdit_caFile->setEnabled(c.tls);
    ui->pushButton_caFile->setEnabled(c.tls);
}

ForwardCfgDlg::~ForwardCfgDlg() = default;

ForwardConfig ForwardCfgDlg::formSettings() const
{
    ForwardConfig c;
    c.enabled = ui->checkBox_enabled->isChecked();
    c.server = ui->lineEdit_server->text().trimmed();
    c.user = ui->lineEdit_user->text();
    c.password = ui->lineEdit_password->text();
    c.prefix = ui->lineEdit_prefix->text().trimmed();
    c.discovery = ui->checkBox_discovery->isChecked();
    c.tls = ui->checkBox_tls->isChecked();
    c.caFile = QDir::fromNativeSeparators(ui->lineEdit_caFile->text().trimmed());
    return c;
}

void ForwardCfgDlg::accept()
{
    const ForwardConfig c = formSettings();
    const QString problem = forwardConfigProblem(c);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), problem, QMessageBox::Ok);
        return;
    }
    StationConfig station = readStationConfig(AppConfig.comm);
    const ForwardConfig stored = station.forwarding;
    const QString host = cleartextPasswordHost(c);
    if (!host.isEmpty() && host != cleartextPasswordHost(stored)
        && QMessageBox::question(this, QStringLiteral("提示"), QStringLiteral("密码将以明文发送到 %1。仍然保存吗？").arg(host),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               != QMessageBox::Yes)
        return;
    station.forwarding = c;
    QString why;
    if (c != stored && !writeStationConfig(station, &why)) {
        QMessageBox::warning(this, QStringLiteral("错误"), why, QMessageBox::Ok);
        return;
    }
    QDialog::accept();
}

void ForwardCfgDlg::on_pushButton_caFile_clicked()
{
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("CA 证书"), formSettings().caFile,
                                                      QStringLiteral("证书(*.pem *.crt *.cer);;所有文件(*)"));
    if (!file.isEmpty())
        ui->lineEdit_caFile->setText(QDir::toNativeSeparators(file));
}
