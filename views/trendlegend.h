#pragma once

#include <qwt_legend.h>

// The legend of both trend windows.
//
// QwtLegendLabel::setData switches the label's updates off while it changes
// text and icon, and switches them back on only if they were on when it
// began. When an ancestor has its updates off at that moment - QMdiArea does
// so while it activates a window in place of a maximised one, and a new plot
// window under the mouse pointer gets its tracker's titles just then - the
// label is left with updates forced off, and is never painted again. This
// legend gives such a label back to its ancestors' state.
class TrendLegend : public QwtLegend
{
public:
    explicit TrendLegend(QWidget *parent = nullptr);

protected:
    void updateWidget(QWidget *widget, const QwtLegendData &data) override;
};
