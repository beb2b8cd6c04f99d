#pragma once

#include <QRect>
#include <QVector>

// The places of count windows tiled in an area of the given size: rows as
// wide as the area, one above the other (Qt::Horizontal), or columns as tall
// as the area, side by side (Qt::Vertical). The last one takes the pixels
// that do not divide evenly.
QVector<QRect> tiledRects(int count, const QSize &area, Qt::Orientation orientation);

// The size of a document window when it is not maximised: two thirds of
// the area, so that a restored window still shows its table or plot.
QSize restoredWindowSize(const QSize &area);
