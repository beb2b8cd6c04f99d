#pragma once

#include <QString>

// Legend entries have room for exactly 15 characters: longer texts are cut,
// shorter ones padded with spaces at the end.
constexpr int kLegendTitleWidth = 15;
QString fitLegendTitle(const QString &text);

// "UA(V)" or, for a dimensionless column, "COS": the simplified name and unit
// of a catalogue column (1..31), not yet fitted.
QString parameterLabel(int column);

// parameterLabel + ":" + value, fitted.
QString parameterValueTitle(int column, const QString &valueText);

// A trend plot's title for column (1..31) when it opens: the name as stored,
// padding included, then "(unit)" unless the unit is blank, then
// ":" and the value; fitted.
QString storedNameValueTitle(int column, double value);
