#include "comm/forwardcfgdlg.h"

#include "ui_forwardcfgdlg.h"
#include "views/widgetbrush.h"

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
    const ForwardConfig c = storedForwardConfig();
    ui->checkBox_enabled->setChecked(c.enabled);
    ui->groupBox_broker->setEnabled(c.enabled);
    ui->lineEdit_server->setText(c.server);
    ui->lineEdit_user->setText(c.user);
    ui->lineEdit_password->setText(c.password);
    ui->lineEdit_prefix->setText(c.prefix);
    ui->checkBox_discovery->setChecked(c.discovery);
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
    if (c != storedForwardConfig())
        storeForwardConfig(c);
    QDialog::accept();
}
