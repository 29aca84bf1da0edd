#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace ravelle {

namespace {

// Three equal first-derivative lines at x = 14, 32 and 50 of a 64-unit square.
double tripletDerivative(double x)
{
    constexpr double sigma = 2.4;
    double sum = 0.0;
    for (const double centre : {14.0, 32.0, 50.0}) {
        const double d = x - centre;
        sum += -d * std::exp(-d * d / (2.0 * sigma * sigma));
    }
    return sum;
}

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    painter.setPen(QPen(QColor(192, 192, 192), 2.0));
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(1, 1, 62, 62), 8, 8);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.drawRect(QRectF(4, 9, 56, 46));

    double largest = 0.0;
    for (int i = 0; i <= 112; ++i)
        largest = std::max(largest, std::abs(tripletDerivative(4.0 + 0.5 * i)));
    QPainterPath trace;
    for (int i = 0; i <= 112; ++i) {
        const double x = 4.0 + 0.5 * i;
        const QPointF point(x, 32.0 - 18.0 * tripletDerivative(x) / largest);
        if (i == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    painter.setPen(QPen(Qt::red, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(trace);
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}

} // namespace ravelle
