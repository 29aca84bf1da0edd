#include "ui/RasterImage.h"

#include <QPaintEvent>
#include <QPainter>

namespace ravelle {

RasterImage::RasterImage(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void RasterImage::paintEvent(QPaintEvent* event)
{
    if (raster_.isNull())
        return;
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.drawImage(dirty, raster_, dirty);
}

} // namespace ravelle
