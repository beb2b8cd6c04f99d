#pragma once

#include <QColor>
#include <QFrame>

// A colour swatch that opens a colour choice when clicked. It keeps no colour
// of its own: the colour is the brush of its background role.
class ColorSelButton : public QFrame
{
    Q_OBJECT

public:
    explicit ColorSelButton(QWidget *parent = nullptr, const QColor &color = Qt::white);

    void setColor(const QColor &color);
    QColor color() const;

signals:
    void clicked();

public slots:
    // Any mouse button counts, so that a right or middle click also opens
    // the choice.
    void mouseReleaseEvent(QMouseEvent *event) override;
};
