#include "views/replacequestion.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

bool mayReplaceSuffixed(QWidget *parent, const QString &chosen, const QString &fileName)
{
    if (fileName == chosen || !QFileInfo::exists(fileName))
        return true;
    const QString question = QStringLiteral("%1 已存在。\n要替换它吗？").arg(QDir::toNativeSeparators(fileName));
    return QMessageBox::question(parent, QStringLiteral("提示"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
           == QMessageBox::Yes;
}
