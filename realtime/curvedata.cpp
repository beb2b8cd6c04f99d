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

bool CurveData::runExtremes(size_t from, size_t to, size_t &low, size_t &high) const
{
    return m_series.runExtremes(m_k, from, to, low, high);
}
