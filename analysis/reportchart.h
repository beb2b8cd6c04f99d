#pragma once

#include <QImage>
#include <QSize>

struct DisplayConfig;
struct PowerReport;

// The 10-minute values of UA, UB and UC over the report's span, with the
// limit lines of its standard, drawn as the trend windows draw: their
// background, grid, time axis and the colours of the three curves. A line
// stops where windows are missing for longer than the one gap rule allows.
// The image holds twice size pixels each way (device pixel ratio 2), so it
// stays sharp when printed at size. Null when the report has no valid
// window.
QImage renderVoltageChart(const PowerReport &report, const DisplayConfig &display, const QSize &size);
