#pragma once

#include <QDialog>

#include <memory>

class QLabel;

namespace Ui {
class ZEPAbout;
}

class ZEPAbout : public QDialog
{
    Q_OBJECT

public:
    explicit ZEPAbout(QWidget *parent = nullptr);
    ~ZEPAbout() override;

private:
    std::unique_ptr<Ui::ZEPAbout> ui;
};

// The large product name and version for a corner of window.
QLabel *createVersionLabel(QWidget *window);
