#pragma once

#include <QString>

// The suffix a file dialog's name filter stands for: "csv" for
// "CSV 文件(*.csv)", "xls" for "*.xls"; the first pattern's when the filter
// has several, empty when it names no suffix ("*").
QString filterSuffix(const QString &filter);

// The name a save dialog's answer stands for: "." + suffix appended to a
// chosen name that has no suffix of its own, since the file dialog here
// adds none and a file without it is hidden by the Open dialog's filter.
// Any other name, and an empty one (a cancelled dialog), stays as chosen;
// so does every name when there is no suffix to add.
QString withDefaultSuffix(const QString &chosen, const QString &suffix);
