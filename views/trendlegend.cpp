#include "views/trendlegend.h"

TrendLegend::TrendLegend(QWidget *parent)
    : QwtLegend(parent)
{
}

void TrendLegend::updateWidget(QWidget *widget, const QwtLegendData &data)
{
    const bool forcedOff = widget->testAttribute(Qt::WA_ForceUpdatesDisabled);
    QwtLegend::updateWidget(widget, data);
    // Enabling only drops the label's own switch: with an ancestor's updates
    // still off it stays unpainted until that ancestor turns them on.
    if (!forcedOff && widget->testAttribute(Qt::WA_ForceUpdatesDisabled)) {
        widget->setUpdatesEnabled(true);
        widget->update();
    }
}
