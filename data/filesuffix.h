#pragma once

#include <QString>

class QWidget;

// The suffix a file dialog's name filter stands for: "csv" for
// "CSV 文件(*.csv)", "xls" for "*.xls"; the first pattern's when the filter
// has several, empty when it names no suffix ("*").
QString filterSuffix(const QString &filter);

// Whether a file may be written under fileName, the name chosen in a file
// dialog with a suffix added. The dialog asked before replacing the name as
// typed, not this one: when that differs and is taken, the user is asked.
bool mayReplaceSuffixed(QWidget *parent, const QString &chosen, const QString &fileName);
