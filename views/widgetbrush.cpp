#include "views/widgetbrush.h"

#include <QPalette>
#include <QWidget>

void fillBackground(QWidget *widget, const QBrush &brush)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Window, brush);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
