#pragma once

#include "data/appconfig.h"

#include <QDialog>

#include <memory>

// Whether an acquisition appends its records to daily files, and where.
// Kept per user like keepAcquiringAfterErrors, off until chosen; the folder
// is remembered while the option is off.
struct DailyFilesChoice {
    bool on = false;
    QString folder;
};

namespace Ui {
class ComCfgDlg;
}

// Edits the communication settings. While an acquisition runs the dialog can
// be looked at but not confirmed, so the sampling thread's settings never
// change under it.
class ComCfgDlg : public QDialog
{
    Q_OBJECT

public:
    explicit ComCfgDlg(QWidget *parent = nullptr, bool acquiring = false);
    ~ComCfgDlg() override;

    // The settings as the form shows them now.
    ComConfig formSettings() const;
    bool formKeepAcquiring() const;
    DailyFilesChoice formDailyFiles() const;

private slots:
    void on_buttonBox_accepted();
    void on_radioButton_com_clicked();
    void on_radioButton_ip_clicked();
    void on_pushButton_browse_clicked();

private:
    void loadSettings(const ComConfig &settings);
    void setUpDecoration();
    void selectLink(bool serial);

    std::unique_ptr<Ui::ComCfgDlg> ui;
};

// The interval choices offered by the dialog, in order.
QStringList comIntervalChoices();
// Stores settings into AppConfig and rewrites the file, unless they equal the
// stored ones; returns whether anything was stored.
bool storeComSettings(const ComConfig &settings);

// Whether an acquisition goes on after a failed poll. A choice of the user's,
// kept in the per-user settings store beside the window geometry rather than
// in the configuration file; off until chosen.
bool keepAcquiringAfterErrors();
void storeKeepAcquiringAfterErrors(bool on);

DailyFilesChoice dailyFilesChoice();
void storeDailyFilesChoice(const DailyFilesChoice &choice);
// The folder an acquisition writes its daily files to; empty for none.
QString dailyFilesFolder();
// Why daily files cannot go to folder (it is not there, or nothing can be
// written in it); empty when they can.
QString dailyFolderProblem(const QString &folder);
