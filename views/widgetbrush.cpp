#include "views/widgetbrush.h"

#include <QPalette>
#include <QPixmap>
#include <QWidget>

void fillBackground(QWidget *widget, const QBrush &brush)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::Window, brush);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void decorateSidePanel(QWidget *panel, const QString &icon, int x, int y)
{
    QPixmap side(QStringLiteral(":/png/sidepanel.jpg"));
    // A panel taller than the picture gets it enlarged, not repeated.
    if (panel->height() > side.height())
        side = side.scaledToHeight(panel->height(), Qt::SmoothTransformation);
    fillBackground(panel, QBrush(side));
    auto *picture = new QWidget(panel);
    picture->setGeometry(x, y, 64, 64);
    fillBackground(picture, QBrush(QPixmap(icon).scaledToHeight(64, Qt::SmoothTransformation)));
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->show();
}
