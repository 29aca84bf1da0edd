#pragma once

#include <QImage>
#include <QWidget>

namespace ravelle {

// The plot area: shows a raster that the commands draw into. Until the first
// drawing it holds no raster and paints nothing, so whatever lies behind it
// shows through.
class RasterImage : public QWidget {
    Q_OBJECT
public:
    explicit RasterImage(QWidget* parent = nullptr);

    // The raster to draw into; null until someone creates it.
    QImage& raster() { return raster_; }
    const QImage& raster() const { return raster_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage raster_;
};

} // namespace ravelle
