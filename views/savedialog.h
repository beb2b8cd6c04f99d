#pragma once

#include <QString>

#include <functional>

class QWidget;

// The name to write for the one typed under a filter.
using SaveNameRule = std::function<QString(const QString &typed, const QString &filter)>;

// The one way the program asks where to save a file: the save dialog with
// caption and filters; a name typed without a suffix gets the selected
// filter's, or rule makes the name when given. The dialog itself asked
// before replacing the name as typed, not that one: when they differ and
// the name to write is taken, the user is asked whether to replace it, and
// No shows the dialog again. Empty when the user cancels; selectedFilter,
// when given, receives the filter the name was chosen under.
QString askSaveName(QWidget *parent, const QString &caption, const QString &filters,
                    QString *selectedFilter = nullptr, const SaveNameRule &rule = {});

// Where to save live samples as a data file.
QString askDataFileSaveName(QWidget *parent);
