#pragma once

#include "data/appconfig.h"
#include "data/paramtable.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class ColorSelButton;

namespace Ui {
class DisCfgDlg;
}

// Edits the display settings: time labels, value axis, grid, background and
// each quantity's curve colour and visibility. Deletes itself when closed, so
// create it with new.
class DisCfgDlg : public QDialog
{
    Q_OBJECT

public:
    // A parent with an update_discfg() signal re-emits this dialog's own.
    explicit DisCfgDlg(QWidget *parent = nullptr);
    ~DisCfgDlg() override;

    // The settings as the form shows them now.
    DisplayConfig formSettings() const;

    ColorSelButton *gridColorButton() const { return gridButton; }
    ColorSelButton *backgroundColorButton() const { return backButton; }
    // Store index 0..30, i.e. column - 1.
    ColorSelButton *parameterColorButton(int index) const { return paraButtons[index]; }
    QCheckBox *parameterCheckBox(int index) const { return paraChecks[index]; }

signals:
    void update_discfg();

public slots:
    void buttonClicked(QWidget *button);

private slots:
    void on_pushButton_default_clicked();
    void on_radioButton_auto_clicked();
    void on_radioButton_fixed_clicked();
    void on_buttonBox_accepted();

private:
    void createParameterRows();
    void connectColorButtons();
    void loadSettings(const DisplayConfig &settings);

    std::unique_ptr<Ui::DisCfgDlg> ui;
    DisplayConfig settings;
    ColorSelButton *gridButton = nullptr;
    ColorSelButton *backButton = nullptr;
    ColorSelButton *paraButtons[kValueCount] = {};
    QCheckBox *paraChecks[kValueCount] = {};
    QLabel *paraLabels[kValueCount] = {};
};

// Stores display settings into AppConfig and rewrites the file, unless they
// equal the stored ones; returns whether anything was stored.
bool storeDisplaySettings(const DisplayConfig &settings);
