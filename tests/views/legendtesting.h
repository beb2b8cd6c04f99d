#pragma once

#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <QMenu>
#include <QtTest>

namespace zeptest {

inline QwtLegendLabel *legendLabel(QwtPlot &plot, int k)
{
    const QVariant info = plot.itemToInfo(plot.itemList(QwtPlotItem::Rtti_PlotCurve).at(k));
    return qobject_cast<QwtLegendLabel *>(static_cast<QwtLegend *>(plot.legend())->legendWidget(info));
}

// A right click on the legend, then the menu entry of that text.
inline void chooseFromLegendMenu(QwtPlot &plot, const QString &text)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), QCursor::pos());
    QCoreApplication::sendEvent(legendLabel(plot, 0), &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    for (QAction *action : menu->actions())
        if (action->text() == text)
            action->trigger();
    menu->close();
}

} // namespace zeptest
