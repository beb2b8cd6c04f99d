#include "views/savedialog.h"

#include "data/savename.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

bool mayReplaceSuffixed(QWidget *parent, const QString &chosen, const QString &fileName)
{
    if (fileName == chosen || !QFileInfo::exists(fileName))
        return true;
    const QString question = QStringLiteral("%1 已存在。\n要替换它吗？").arg(QDir::toNativeSeparators(fileName));
    return QMessageBox::question(parent, QStringLiteral("提示"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
           == QMessageBox::Yes;
}

} // namespace

QString askSaveName(QWidget *parent, const QString &caption, const QString &filters, QString *selectedFilter,
                    const SaveNameRule &rule)
{
    for (;;) {
        QString filter;
        const QString chosen = QFileDialog::getSaveFileName(parent, caption, QString(), filters, &filter);
        // A dialog that tells no filter was answered under its first.
        if (filter.isEmpty())
            filter = filters.section(QStringLiteral(";;"), 0, 0);
        const QString name = rule ? rule(chosen, filter) : withDefaultSuffix(chosen, filterSuffix(filter));
        if (mayReplaceSuffixed(parent, chosen, name)) {
            if (selectedFilter)
                *selectedFilter = filter;
            return name;
        }
    }
}

QString askDataFileSaveName(QWidget *parent)
{
    return askSaveName(parent, QStringLiteral("数据保存为"), QStringLiteral("数据文件(*.txt)"));
}
