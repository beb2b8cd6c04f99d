#include "comm/comcfgdlg.h"

#include "comm/stationsettings.h"
#include "ui_comcfgdlg.h"
#include "views/widgetbrush.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QHeaderView>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTemporaryFile>

namespace {

// Selects the item that reads text. A stored value that the list lacks (a
// /dev/serial/by-id/... port, a baud rate of 115200) becomes an extra item,
// selected, so that OK keeps it instead of storing an empty text.
void selectText(QComboBox *combo, const char *text)
{
    const QString value = QString::fromLatin1(text);
    int index = combo->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && !value.isEmpty()) {
        combo->addItem(value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

enum MeterColumn { NameColumn, AddressColumn };

// A meter's address is typed into a spin box that takes only addresses.
class AddressDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *box = new QSpinBox(parent);
        box->setFrame(false);
        box->setRange(kFirstMeterAddress, kLastMeterAddress);
        return box;
    }
};

} // namespace

QStringList comIntervalChoices()
{
    return {QStringLiteral("1s"), QStringLiteral("5s"), QStringLiteral("10s"), QStringLiteral("60s"),
            QStringLiteral("2m"), QStringLiteral("10m"), QStringLiteral("20m"), QStringLiteral("1h"),
            QStringLiteral("2h"), QStringLiteral("10h"), QStringLiteral("20h")};
}

bool storeComSettings(const ComConfig &settings)
{
    if (settings == AppConfig.comm)
        return false;
    AppConfig.comm = settings;
    writeConfig();
    return true;
}

ComCfgDlg::ComCfgDlg(QWidget *parent, bool acquiring)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ComCfgDlg>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(421, 506);
    ui->combo_interval->addItems(comIntervalChoices());
    // The Windows port names stay first; the ports this system really has
    // (ttyUSB0, ttyACM0, ...) follow so that an adapter can be chosen.
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        if (ui->combo_com->findText(port.portName(), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            ui->combo_com->addItem(port.portName());
    }
    // The port combo is editable (the form), so that a device path can be
    // typed: the pseudo-terminal of a simulator, a by-id name. It and the IP
    // field take as much as their settings hold.
    ui->combo_com->lineEdit()->setMaxLength(fieldCapacity(AppConfig.comm.com));
    ui->lineEdit_ip->setMaxLength(fieldCapacity(AppConfig.comm.IP));
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!acquiring);
    setUpDecoration();
    loadSettings(AppConfig.comm);
    // A file with a bad row shows it as it is, to be mended here.
    const StationConfig station = readStationConfig(AppConfig.comm);
    QTableWidget *table = ui->tableWidget_meters;
    table->setItemDelegateForColumn(AddressColumn, new AddressDelegate(table));
    table->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(AddressColumn, QHeaderView::ResizeToContents);
    // Three rows in view.
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    for (const MeterConfig &meter : station.meters)
        appendMeterRow(meter);
    connect(table, &QTableWidget::itemSelectionChanged, this, &ComCfgDlg::updateMeterButtons);
    updateMeterButtons();
    ui->checkBox_keep->setChecked(station.keepAcquiring);
    ui->checkBox_startAcquiring->setChecked(station.startAcquiring);
    const DailyFilesChoice daily{!station.dailyFolder.isEmpty(), station.dailyFolder};
    connect(ui->checkBox_daily, &QCheckBox::toggled, ui->lineEdit_daily, &QWidget::setEnabled);
    connect(ui->checkBox_daily, &QCheckBox::toggled, ui->pushButton_browse, &QWidget::setEnabled);
    ui->checkBox_daily->setChecked(daily.on);
    ui->lineEdit_daily->setEnabled(daily.on);
    ui->pushButton_browse->setEnabled(daily.on);
    ui->lineEdit_daily->setText(QDir::toNativeSeparators(daily.folder));
    // OK stores and closes only once the daily files' folder is accepted.
    disconnect(ui->buttonBox, SIGNAL(accepted()), this, SLOT(accept()));
}

ComCfgDlg::~ComCfgDlg() = default;

void ComCfgDlg::setUpDecoration()
{
    decorateSidePanel(ui->widget, QStringLiteral(":/png/config.png"), 32, height() / 2);
}

void ComCfgDlg::selectLink(bool serial)
{
    ui->radioButton_com->setChecked(serial);
    ui->radioButton_ip->setChecked(!serial);
    ui->groupBox_com->setEnabled(serial);
    ui->groupBox_ip->setEnabled(!serial);
}

void ComCfgDlg::loadSettings(const ComConfig &settings)
{
    selectLink(settings.comtype == 0);
    selectText(ui->combo_com, settings.com);
    selectText(ui->combo_baud, settings.baud);
    selectText(ui->combo_parity, settings.parity);
    selectText(ui->combo_stopbit, settings.stopbit);
    selectText(ui->combo_interval, settings.interval);
    ui->lineEdit_ip->setText(QString::fromLatin1(settings.IP));
}

ComConfig ComCfgDlg::formSettings() const
{
    ComConfig c{};
    c.comtype = ui->radioButton_com->isChecked() ? 0 : 1;
    copyToField(c.com, ui->combo_com->currentText().toLatin1());
    copyToField(c.baud, ui->combo_baud->currentText().toLatin1());
    copyToField(c.parity, ui->combo_parity->currentText().toLatin1());
    copyToField(c.stopbit, ui->combo_stopbit->currentText().toLatin1());
    copyToField(c.interval, ui->combo_interval->currentText().toLatin1());
    const QVector<MeterConfig> meters = formMeters();
    c.addr = meters.isEmpty() ? AppConfig.comm.addr : meters.first().addr;
    copyToField(c.IP, ui->lineEdit_ip->text().toLatin1());
    c.metertype = 0;
    return c;
}

QVector<MeterConfig> ComCfgDlg::formMeters() const
{
    QVector<MeterConfig> meters;
    const QTableWidget *table = ui->tableWidget_meters;
    for (int row = 0; row < table->rowCount(); ++row)
        meters.append({table->item(row, NameColumn)->text().trimmed(), table->item(row, AddressColumn)->data(Qt::EditRole).toInt()});
    return meters;
}

void ComCfgDlg::appendMeterRow(const MeterConfig &meter)
{
    QTableWidget *table = ui->tableWidget_meters;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, NameColumn, new QTableWidgetItem(meter.name));
    auto *address = new QTableWidgetItem;
    address->setData(Qt::EditRole, meter.addr);
    table->setItem(row, AddressColumn, address);
}

void ComCfgDlg::on_pushButton_addMeter_clicked()
{
    appendMeterRow(newMeter(formMeters()));
    QTableWidget *table = ui->tableWidget_meters;
    table->setCurrentCell(table->rowCount() - 1, NameColumn);
    table->setFocus();
    table->editItem(table->currentItem());
    updateMeterButtons();
}

void ComCfgDlg::on_pushButton_removeMeter_clicked()
{
    QTableWidget *table = ui->tableWidget_meters;
    const int row = table->currentRow();
    if (row < 0 || table->rowCount() < 2)
        return;
    table->removeRow(row);
    table->setCurrentCell(qMin(row, table->rowCount() - 1), NameColumn);
    updateMeterButtons();
}

void ComCfgDlg::updateMeterButtons()
{
    const QTableWidget *table = ui->tableWidget_meters;
    // A station has at least one meter.
    ui->pushButton_removeMeter->setEnabled(table->rowCount() > 1 && !table->selectedItems().isEmpty());
    ui->pushButton_addMeter->setEnabled(table->rowCount() < kLastMeterAddress - kFirstMeterAddress + 1);
}

bool ComCfgDlg::formKeepAcquiring() const
{
    return ui->checkBox_keep->isChecked();
}

bool ComCfgDlg::formStartAcquiring() const
{
    return ui->checkBox_startAcquiring->isChecked();
}

DailyFilesChoice ComCfgDlg::formDailyFiles() const
{
    // A relative folder would follow the working directory of each start.
    const QString folder = ui->lineEdit_daily->text().trimmed();
    return {ui->checkBox_daily->isChecked(), folder.isEmpty() ? folder : QFileInfo(folder).absoluteFilePath()};
}

void ComCfgDlg::on_buttonBox_accepted()
{
    const QString meters = metersProblem(formMeters());
    if (!meters.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), meters, QMessageBox::Ok);
        ui->tableWidget_meters->setFocus();
        return;
    }
    const DailyFilesChoice daily = formDailyFiles();
    const QString problem = daily.on ? dailyFolderProblem(daily.folder) : QString();
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("错误"), problem, QMessageBox::Ok);
        ui->lineEdit_daily->setFocus();
        return;
    }
    QString why;
    if (!storeForm(&why)) {
        QMessageBox::warning(this, QStringLiteral("错误"), why, QMessageBox::Ok);
        return;
    }
    accept();
}

bool ComCfgDlg::storeForm(QString *why)
{
    StationConfig station = readStationConfig(AppConfig.comm);
    const DailyFilesChoice daily = formDailyFiles();
    const QString dailyFolder = daily.on ? daily.folder : QString();
    if (station.meters != formMeters() || station.keepAcquiring != formKeepAcquiring()
        || station.dailyFolder != dailyFolder || station.startAcquiring != formStartAcquiring()) {
        station.meters = formMeters();
        station.keepAcquiring = formKeepAcquiring();
        station.dailyFolder = dailyFolder;
        station.startAcquiring = formStartAcquiring();
        if (!writeStationConfig(station, why))
            return false;
    }
    storeComSettings(formSettings());
    return true;
}

void ComCfgDlg::on_pushButton_browse_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("按天保存到"), formDailyFiles().folder);
    if (!folder.isEmpty())
        ui->lineEdit_daily->setText(QDir::toNativeSeparators(folder));
}

void ComCfgDlg::on_radioButton_com_clicked()
{
    ui->groupBox_com->setEnabled(true);
    ui->groupBox_ip->setEnabled(false);
}

void ComCfgDlg::on_radioButton_ip_clicked()
{
    ui->groupBox_com->setEnabled(false);
    ui->groupBox_ip->setEnabled(true);
}
