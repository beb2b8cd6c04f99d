#include "realtime/curvedata.h"

#include "realtime/signaldata.h"

CurveData::CurveData(const SignalData &series, int k)
    : m_series(series)
    , m_k(k)
{
}

size_t CurveData::size() const
{
    return size_t(m_series.size());
}

QPointF CurveData::sample(size_t i) const
{
    return m_series.value(m_k, int(i));
}

QRectF CurveData::boundingRect() const
{
    return m_series.boundingRect(m_k);
}

const SeriesBreaks &CurveData::breaks() const
{
    return m_series.breaks();
}

void CurveData::pickColumns(int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const
{
    pickColumnExtremes(
        from, to, [this](int i) { return m_series.value(m_k, i).x(); },
        [this](int begin, int end, int &low, int &high) {
            size_t l = 0;
            size_t h = 0;
            if (m_series.runExtremes(m_k, size_t(begin), size_t(end), l, h)) {
                low = int(l);
                high = int(h);
            }
        },
        xMap, picked.indexes);
    picked.points.clear();
    for (int i : qAsConst(picked.indexes))
        picked.points.append(sample(size_t(i)));
}
