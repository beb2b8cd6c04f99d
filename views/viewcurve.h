#pragma once

#include <qwt_plot_curve.h>

// A curve of a trend window over a TrendSeries that draws only what shows.
// Between two breaks of the series, where its times ascend, it draws the
// samples in view plus one on each side, so that the line runs to the
// canvas edges, and when they outnumber the pixel columns, only the samples
// the series picks for each column. No line crosses a gap whose ends lie in
// two pixel columns (one narrower than a pixel shows at a closer view); a
// value that is no number ends the line. Where the time goes back, the line
// goes back with it, as a plain curve draws it. What it
// draws is the image of the whole series; what the series holds is
// untouched, so a tracker reading data() still sees every sample. Any other
// series is drawn as QwtPlotCurve draws it.
class ViewCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                    int from, int to) const override;

    // Off, the curve draws every sample in view: the reference image for
    // the thinned drawing.
    void setThinning(bool on) { thinning = on; }

private:
    bool thinning = true;
};
