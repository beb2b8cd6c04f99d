#pragma once

#include <QString>

// The name a save dialog's answer stands for: "." + suffix appended to a
// chosen name that has no suffix of its own, since the file dialog here
// adds none and a file without it is hidden by the Open dialog's filter.
// Any other name, and an empty one (a cancelled dialog), stays as chosen.
QString withDefaultSuffix(const QString &chosen, const QString &suffix);
