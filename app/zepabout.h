#pragma once

#include <QDialog>

#include <memory>

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
