#pragma once

#include <QString>

// The suffix a file dialog's name filter stands for: "csv" for
// "CSV 文件(*.csv)", "xls" for "*.xls"; the first pattern's when the filter
// has several, empty when it names no suffix ("*").
QString filterSuffix(const QString &filter);
