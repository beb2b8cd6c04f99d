#include "app/tiling.h"

QVector<QRect> tiledRects(int count, const QSize &area, Qt::Orientation orientation)
{
    QVector<QRect> rects;
    if (count <= 0)
        return rects;
    const bool rows = orientation == Qt::Horizontal;
    const int length = rows ? area.height() : area.width();
    const int step = length / count;
    for (int i = 0; i < count; ++i) {
        const int start = i * step;
        const int size = i == count - 1 ? length - start : step;
        rects.append(rows ? QRect(0, start, area.width(), size) : QRect(start, 0, size, area.height()));
    }
    return rects;
}

QSize restoredWindowSize(const QSize &area)
{
    return QSize(area.width() * 2 / 3, area.height() * 2 / 3);
}
