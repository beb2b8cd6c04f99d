#pragma once

#include "views/trendseries.h"

class SignalData;

// A plot curve's view of one store of the live series. It copies nothing;
// the caller of its functions holds the series' read lock (a redraw holds
// it for the whole drawing).
class CurveData : public TrendSeries
{
public:
    // Store k (0..30) of series, which outlives the adapter.
    CurveData(const SignalData &series, int k);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    const SeriesBreaks &breaks() const override;
    void pickColumns(int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const override;

private:
    const SignalData &m_series;
    int m_k;
};
