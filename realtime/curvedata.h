#pragma once

#include "views/viewcurve.h"

#include <qwt_series_data.h>

class SignalData;

// A plot curve's view of one store of the live series. It copies nothing;
// the caller of size, sample, boundingRect and runExtremes holds the
// series' read lock (a redraw holds it for the whole drawing).
class CurveData : public QwtSeriesData<QPointF>, public SummarizedSeries
{
public:
    // Store k (0..30) of series, which outlives the adapter.
    CurveData(const SignalData &series, int k);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    bool runExtremes(size_t from, size_t to, size_t &low, size_t &high) const override;

private:
    const SignalData &m_series;
    int m_k;
};
