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
    fillBackground(panel, QBrush(QPixmap(QStringLiteral(":/png/sidepanel.jpg"))));
    auto *picture = new QWidget(panel);
    picture->setGeometry(x, y, 64, 64);
    fillBackground(picture, QBrush(QPixmap(icon).scaledToHeight(64, Qt::SmoothTransformation)));
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture->show();
}
