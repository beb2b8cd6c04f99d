#include "views/colorselbutton.h"

#include <QPalette>

ColorSelButton::ColorSelButton(QWidget *parent, const QColor &color)
    : QFrame(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Plain);
    setAutoFillBackground(true);
    setColor(color);
}

void ColorSelButton::setColor(const QColor &color)
{
    QPalette palette;
    palette.setBrush(backgroundRole(), QBrush(color));
    setPalette(palette);
}

QColor ColorSelButton::color() const
{
    return palette().brush(backgroundRole()).color();
}

void ColorSelButton::mouseReleaseEvent(QMouseEvent *)
{
    emit clicked();
}
