#pragma once

#include "data/appconfig.h"
#include "data/meterconfig.h"

#include <QDialog>

#include <memory>

// Whether an acquisition appends its records to daily files, and where, as
// the dialog shows it: the folder stays in the field while the option is
// off.
struct DailyFilesChoice {
    bool on = false;
    QString folder;
};

namespace Ui {
class ComCfgDlg;
}

// Edits the station's link (config/config.ini) and its meters, its
// keep-acquiring choice, its daily folder and whether the program starts
// acquiring as it starts (config/meters.ini). While an
// acquisition runs the dialog can be looked at but not confirmed, so the
// sampling thread's settings never change under it.
class ComCfgDlg : public QDialog
{
    Q_OBJECT

public:
    explicit ComCfgDlg(QWidget *parent = nullptr, bool acquiring = false);
    ~ComCfgDlg() override;

    // The settings as the form shows them now; the link's address is the
    // first meter's.
    ComConfig formSettings() const;
    QVector<MeterConfig> formMeters() const;
    bool formKeepAcquiring() const;
    bool formStartAcquiring() const;
    DailyFilesChoice formDailyFiles() const;

private slots:
    void on_buttonBox_accepted();
    void on_radioButton_com_clicked();
    void on_radioButton_ip_clicked();
    void on_pushButton_browse_clicked();
    void on_pushButton_addMeter_clicked();
    void on_pushButton_removeMeter_clicked();
    void updateMeterButtons();

private:
    void loadSettings(const ComConfig &settings);
    void appendMeterRow(const MeterConfig &meter);
    // Stores what the form shows; false with why when the meters' file
    // could not be written.
    bool storeForm(QString *why);
    void setUpDecoration();
    void selectLink(bool serial);

    std::unique_ptr<Ui::ComCfgDlg> ui;
};

// The interval choices offered by the dialog, in order.
QStringList comIntervalChoices();
// Stores settings into AppConfig and rewrites the file, unless they equal the
// stored ones; returns whether anything was stored.
bool storeComSettings(const ComConfig &settings);
