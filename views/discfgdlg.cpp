#include "views/discfgdlg.h"

#include "ui_discfgdlg.h"
#include "views/colorselbutton.h"
#include "views/widgetbrush.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QSignalMapper>

namespace {

QColor colorOf(int red, int green, int blue)
{
    return QColor(qBound(0, red, 255), qBound(0, green, 255), qBound(0, blue, 255));
}

void readColor(const ColorSelButton *button, int &red, int &green, int &blue)
{
    const QColor c = button->color();
    red = c.red();
    green = c.green();
    blue = c.blue();
}

// The name labels are 41 pixels wide; fonts wider than the one the form was
// drawn with are made smaller until every name fits.
QFont nameFont(QFont font)
{
    auto widest = [](const QFont &f) {
        const QFontMetrics metrics(f);
        int w = 0;
        for (int column = 1; column < kColumnCount; ++column)
            w = qMax(w, metrics.horizontalAdvance(QString::fromLatin1(ParamTable[column].name).simplified()));
        return w;
    };
    while (font.pointSizeF() > 6 && widest(font) > 40)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

} // namespace

bool storeDisplaySettings(const DisplayConfig &settings)
{
    if (settings == AppConfig.disp)
        return false;
    AppConfig.disp = settings;
    writeConfig();
    return true;
}

DisCfgDlg::DisCfgDlg(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DisCfgDlg>())
    , settings(AppConfig.disp)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    decorateSidePanel(ui->widget, QStringLiteral(":/png/monitor.png"), 32, height() / 2);

    gridButton = new ColorSelButton(ui->groupBox_grid, Qt::white);
    gridButton->setGeometry(130, 140, 75, 23);
    backButton = new ColorSelButton(ui->groupBox_grid, Qt::white);
    backButton->setGeometry(130, 170, 75, 23);
    createParameterRows();
    loadSettings(settings);
    connectColorButtons();

    if (parent && parent->metaObject()->indexOfSignal("update_discfg()") >= 0)
        connect(this, SIGNAL(update_discfg()), parent, SIGNAL(update_discfg()));
}

DisCfgDlg::~DisCfgDlg() = default;

void DisCfgDlg::createParameterRows()
{
    // Two columns side by side: rows 16..30 stand beside rows 0..14.
    const QFont font = nameFont(ui->groupBox_para->font());
    for (int k = 0; k < kValueCount; ++k) {
        const int g = 26 + 22 * k;
        const bool left = k < 16;
        auto *label = new QLabel(QString::fromLatin1(ParamTable[k + 1].name).simplified(), ui->groupBox_para);
        label->setFont(font);
        auto *button = new ColorSelButton(ui->groupBox_para, Qt::white);
        auto *check = new QCheckBox(ui->groupBox_para);
        if (left) {
            label->setGeometry(10, g - 6, 41, 20);
            button->setGeometry(50, g - 6, 75, 23);
            check->setGeometry(130, g, 21, 16);
        } else {
            label->setGeometry(180, g - 358, 41, 20);
            button->setGeometry(220, g - 358, 75, 23);
            check->setGeometry(300, g - 352, 21, 16);
        }
        paraLabels[k] = label;
        paraButtons[k] = button;
        paraChecks[k] = check;
    }
}

void DisCfgDlg::connectColorButtons()
{
    auto *mapper = new QSignalMapper(this);
    auto map = [mapper](ColorSelButton *button) {
        mapper->setMapping(button, button);
        connect(button, &ColorSelButton::clicked, mapper, qOverload<>(&QSignalMapper::map));
    };
    map(gridButton);
    map(backButton);
    for (ColorSelButton *button : paraButtons)
        map(button);
    connect(mapper, &QSignalMapper::mappedWidget, this, &DisCfgDlg::buttonClicked);
}

void DisCfgDlg::loadSettings(const DisplayConfig &s)
{
    ui->combo_timedis->setCurrentIndex(s.timeformat);
    const bool fixed = s.yAxis_scale == 0;
    ui->radioButton_fixed->setChecked(fixed);
    ui->radioButton_auto->setChecked(!fixed);
    ui->lineEdit_low->setEnabled(fixed);
    ui->lineEdit_high->setEnabled(fixed);
    ui->lineEdit_low->setText(QString::number(s.yLow, 'g', 6));
    ui->lineEdit_high->setText(QString::number(s.yHigh, 'g', 6));
    ui->combo_gridline->setCurrentIndex(s.gridlinetype);
    ui->spinBox_xMajor->setValue(s.xMaxMajor);
    ui->spinBox_xMinor->setValue(s.xMaxMinor);
    ui->spinBox_yMajor->setValue(s.yMaxMajor);
    ui->spinBox_yMinor->setValue(s.yMaxMinor);
    gridButton->setColor(colorOf(s.grid_red, s.grid_green, s.grid_blue));
    backButton->setColor(colorOf(s.back_red, s.back_green, s.back_blue));
    for (int k = 0; k < kValueCount; ++k) {
        paraButtons[k]->setColor(colorOf(s.para_red[k], s.para_green[k], s.para_blue[k]));
        paraChecks[k]->setChecked(s.para_on[k]);
    }
}

DisplayConfig DisCfgDlg::formSettings() const
{
    DisplayConfig s = settings;
    s.timeformat = ui->combo_timedis->currentIndex();
    s.yAxis_scale = ui->radioButton_auto->isChecked() ? 1 : 0;
    s.yLow = ui->lineEdit_low->text().toDouble();
    s.yHigh = ui->lineEdit_high->text().toDouble();
    s.gridlinetype = ui->combo_gridline->currentIndex();
    s.xMaxMajor = ui->spinBox_xMajor->value();
    s.xMaxMinor = ui->spinBox_xMinor->value();
    s.yMaxMajor = ui->spinBox_yMajor->value();
    s.yMaxMinor = ui->spinBox_yMinor->value();
    readColor(gridButton, s.grid_red, s.grid_green, s.grid_blue);
    readColor(backButton, s.back_red, s.back_green, s.back_blue);
    for (int k = 0; k < kValueCount; ++k) {
        readColor(paraButtons[k], s.para_red[k], s.para_green[k], s.para_blue[k]);
        s.para_on[k] = paraChecks[k]->isChecked();
    }
    return s;
}

void DisCfgDlg::buttonClicked(QWidget *widget)
{
    auto *button = qobject_cast<ColorSelButton *>(widget);
    if (!button)
        return;
    const QColor chosen = QColorDialog::getColor(button->color(), this, QStringLiteral("颜色选择"));
    if (chosen.isValid())
        button->setColor(chosen);
}

void DisCfgDlg::on_pushButton_default_clicked()
{
    defaultDisplayConfig(settings);
    loadSettings(settings);
}

void DisCfgDlg::on_radioButton_auto_clicked()
{
    ui->lineEdit_low->setEnabled(false);
    ui->lineEdit_high->setEnabled(false);
}

void DisCfgDlg::on_radioButton_fixed_clicked()
{
    ui->lineEdit_low->setEnabled(true);
    ui->lineEdit_high->setEnabled(true);
}

void DisCfgDlg::on_buttonBox_accepted()
{
    settings = formSettings();
    if (storeDisplaySettings(settings))
        emit update_discfg();
}
