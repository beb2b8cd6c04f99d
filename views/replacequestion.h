#pragma once

#include <QString>

class QWidget;

// Whether a file may be written under fileName, the name chosen in a file
// dialog with a suffix added. The dialog asked before replacing the name as
// typed, not this one: when that differs and is taken, the user is asked.
bool mayReplaceSuffixed(QWidget *parent, const QString &chosen, const QString &fileName);
