#include "views/curveswitch.h"

#include "data/paramgroups.h"

#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>

#include <QMenu>

CurveSwitch::CurveSwitch(QwtPlot *plot, QwtLegend *legend, const QVector<QwtPlotCurve *> &curves)
    : QObject(plot)
    , plot(plot)
    , legend(legend)
    , curves(curves)
{
    connect(legend, &QwtLegend::checked, this,
            [this](const QVariant &itemInfo, bool on, int) { entryChecked(itemInfo, on); });
    legend->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(legend, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { popUpMenu(this->legend->mapToGlobal(pos)); });
    // A checkable entry gets a wider margin for its pressed frame; with the
    // plain one the legend keeps its spacing, and all 31 entries still fit.
    const int plainMargin = QwtLegendLabel().margin();
    for (QwtPlotCurve *curve : qAsConst(this->curves)) {
        if (QwtLegendLabel *label = entry(curve))
            label->setMargin(plainMargin);
    }
    markLegend();
}

QwtLegendLabel *CurveSwitch::entry(QwtPlotCurve *curve) const
{
    return qobject_cast<QwtLegendLabel *>(legend->legendWidget(plot->itemToInfo(curve)));
}

void CurveSwitch::showColumns(const std::function<bool(int)> &shown)
{
    for (int k = 0; k < curves.size(); ++k)
        curves[k]->setVisible(shown(k + 1));
    markLegend();
    emit shownChanged();
}

void CurveSwitch::showGroup(int group)
{
    showColumns([group](int column) { return groupHasColumn(ParamGroups[group], column); });
}

void CurveSwitch::markLegend()
{
    for (QwtPlotCurve *curve : qAsConst(curves))
        markEntry(curve);
}

void CurveSwitch::markEntry(QwtPlotCurve *curve)
{
    QwtLegendLabel *label = entry(curve);
    if (!label)
        return;
    const bool hidden = !curve->isVisible();
    label->setChecked(hidden);
    if (!hidden) {
        // Inherit the legend's colours again.
        label->setPalette(QPalette());
        return;
    }
    QPalette greyed = legend->palette();
    greyed.setColor(QPalette::Text, greyed.color(QPalette::Disabled, QPalette::Text));
    label->setPalette(greyed);
}

void CurveSwitch::entryChecked(const QVariant &itemInfo, bool on)
{
    auto *curve = dynamic_cast<QwtPlotCurve *>(plot->infoToItem(itemInfo));
    if (!curve || !curves.contains(curve))
        return;
    curve->setVisible(!on);
    markEntry(curve);
    emit shownChanged();
}

void CurveSwitch::popUpMenu(const QPoint &globalPos)
{
    auto *menu = new QMenu(legend);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("显示全部"), this, [this] { showColumns([](int) { return true; }); });
    menu->addSeparator();
    for (int g = 0; g < kParamGroupCount; ++g)
        menu->addAction(QString::fromUtf8(ParamGroups[g].name), this, [this, g] { showGroup(g); });
    menu->popup(globalPos);
}

QwtInterval shownCurvesInterval(const QwtPlot &plot, int axis)
{
    QwtInterval bounds;
    for (const QwtPlotItem *item : plot.itemList(QwtPlotItem::Rtti_PlotCurve)) {
        if (!item->isVisible() || !item->testItemAttribute(QwtPlotItem::AutoScale) || item->yAxis() != axis)
            continue;
        const QRectF rect = item->boundingRect();
        if (rect.height() >= 0.0)
            bounds |= QwtInterval(rect.top(), rect.bottom());
    }
    if (!bounds.isValid())
        return bounds;
    double low = bounds.minValue();
    double high = bounds.maxValue();
    double step = 0.0;
    plot.axisScaleEngine(axis)->autoScale(plot.axisMaxMajor(axis), low, high, step);
    return QwtInterval(low, high);
}

void fitZoomBaseToShownCurves(QwtPlot &plot, QwtPlotZoomer &zoomer)
{
    const QwtInterval y = shownCurvesInterval(plot, zoomer.yAxis());
    if (!y.isValid())
        return;
    const int index = int(zoomer.zoomRectIndex());
    const QwtInterval shownX = plot.axisInterval(zoomer.xAxis());
    QStack<QRectF> stack = zoomer.zoomStack();
    stack[0] = QRectF(stack[0].left(), y.minValue(), stack[0].width(), y.width());
    // Moved first, the full view leaves the zoomer nothing to redraw unless
    // a time span is in view; that span is put back after it.
    if (index == 0)
        plot.setAxisScale(zoomer.yAxis(), y.minValue(), y.maxValue());
    zoomer.setZoomStack(stack, index);
    if (index == 0)
        plot.setAxisScale(zoomer.xAxis(), shownX.minValue(), shownX.maxValue());
}
