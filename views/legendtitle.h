#pragma once

#include <QString>

// Legend entries have room for 15 characters: shorter titles are padded with
// spaces at the end. A longer one gives up blanks of its name, from the end
// of the name first; the name's letters, the unit and the value are never cut
// (a cut number would be a different number), so a title that cannot fit
// otherwise is longer than 15.
constexpr int kLegendTitleWidth = 15;
// name + unit + ":" + value; without a value text, no ":" either.
QString fitLegendTitle(const QString &name, const QString &unit = QString(), const QString &valueText = QString());

// A value as legends show it: six significant digits; "—" for no value.
QString legendValueText(double value);

// "(V)", or empty for a dimensionless column (1..31).
QString unitPart(int column);

// "UA(V)" or, for a dimensionless column, "COS": the simplified name and unit
// of a catalogue column (1..31), not yet fitted.
QString parameterLabel(int column);

// The simplified name and unit + ":" + value, fitted.
QString parameterValueTitle(int column, const QString &valueText);

// A trend plot's title for column (1..31) when it opens: the name as stored,
// padding included, then "(unit)" unless the unit is blank, then
// ":" and the value; fitted.
QString storedNameValueTitle(int column, double value);
