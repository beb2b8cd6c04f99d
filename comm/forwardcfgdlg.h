#pragma once

#include "comm/forwardconfig.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ForwardCfgDlg;
}

// Edits where the station's live readings are published (config/meters.ini).
// Like the communication settings, they cannot change while an acquisition
// runs: OK is disabled then. Values that cannot be used are refused with a
// message and the dialog stays; a password that would newly cross the
// network in clear is saved only once the user agrees.
class ForwardCfgDlg : public QDialog
{
    Q_OBJECT

public:
    explicit ForwardCfgDlg(QWidget *parent = nullptr, bool acquiring = false);
    ~ForwardCfgDlg() override;

    // The settings as the form shows them now.
    ForwardConfig formSettings() const;

public slots:
    void accept() override;

private slots:
    void on_pushButton_caFile_clicked();

private:
    std::unique_ptr<Ui::ForwardCfgDlg> ui;
};
