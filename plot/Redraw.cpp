#include "plot/Redraw.h"

#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/FloatingPoint.h"
#include "engine/Trace.h"
#include "plot/LineRaster.h"
#include "plot/PlotWindow.h"

namespace ravelle {

namespace {

constexpr QRgb kGround = 0xFF000000u;
constexpr QRgb kSimulatedPen = 0xFFFF0000u;
constexpr QRgb kObservedPen = 0xFF00FFFFu;
constexpr QRgb kFramePen = 0xFFFFFFFFu;

// A 1-pixel pen with a current position, writing straight into 32-bit
// scan lines: every pixel the line touches takes the pen colour.
class Pen {
public:
    Pen(QImage& raster, QRgb colour) : raster_(raster), colour_(colour) {}

    void moveTo(std::int32_t x, std::int32_t y)
    {
        x_ = x;
        y_ = y;
    }

    void lineTo(std::int32_t x, std::int32_t y)
    {
        rasterLine(x_, y_, x, y, raster_.width(), raster_.height(), [this](std::int32_t px, std::int32_t py) {
            reinterpret_cast<QRgb*>(raster_.scanLine(py))[px] = colour_;
        });
        moveTo(x, y);
    }

private:
    QImage& raster_;
    QRgb colour_;
    std::int32_t x_ = 0;
    std::int32_t y_ = 0;
};

// Reports the fraction drawn once every kProgressPoints points.
class DrawingProgress {
public:
    DrawingProgress(const std::function<void(double)>& progress, std::size_t total)
        : progress_(progress), total_(std::max<std::size_t>(total, 1))
    {
    }

    void point()
    {
        if (++sinceReport_ < kProgressPoints)
            return;
        sinceReport_ = 0;
        done_ += kProgressPoints;
        if (progress_)
            progress_(static_cast<double>(done_) / static_cast<double>(total_));
    }

private:
    static constexpr std::size_t kProgressPoints = 1 << 16;
    const std::function<void(double)>& progress_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t sinceReport_ = 0;
};

// Draws a polyline of `count` points from its first, each mapped by `at`.
template <typename PointAt>
void drawTrace(QImage& raster, QRgb colour, std::size_t count, DrawingProgress& progress, PointAt&& at)
{
    Pen pen(raster, colour);
    for (std::size_t i = 0; i < count; ++i) {
        const auto [x, y] = at(i);
        if (i == 0)
            pen.moveTo(x, y);
        else
            pen.lineTo(x, y);
        progress.point();
    }
}

// Up the left edge, along the top, down the right edge, back along the bottom.
void drawFrame(const PlotScene& scene, QImage& raster)
{
    const PlotWindow& window = scene.window;
    const std::int32_t left = fieldToX(window, scene.size.width, window.frameFieldLow);
    const std::int32_t right = fieldToX(window, scene.size.width, window.frameFieldHigh);
    const std::int32_t bottom = intensityToY(window, scene.size.height, window.frameIntLow);
    const std::int32_t top = intensityToY(window, scene.size.height, window.frameIntHigh);
    Pen pen(raster, kFramePen);
    pen.moveTo(left, bottom);
    pen.lineTo(left, top);
    pen.lineTo(right, top);
    pen.lineTo(right, bottom);
    pen.lineTo(left, bottom);
}

void drawEverything(const PlotScene& scene, QImage& raster, const std::function<void(double)>& progress)
{
    const PlotWindow& window = scene.window;
    const std::int32_t width = scene.size.width;
    const std::int32_t height = scene.size.height;
    DrawingProgress drawn(progress, scene.calcField.size() + scene.obsField.size());

    // The simulated spectrum is stored as offsets without the scale; the
    // centre, the scale and the baseline it is drawn with are applied here,
    // each formed in extended precision and stored as a double.
    const long double centre = scene.centre;
    const TraceLevel level{scene.scale, scene.baselineOffset, scene.baselineSlope};
    drawTrace(raster, kSimulatedPen, std::min(scene.calcField.size(), scene.calcIntensity.size()), drawn,
              [&](std::size_t i) {
                  const double field = storeDouble(centre + scene.calcField[i]);
                  const double intensity = tracedIntensity(level, scene.calcField[i], scene.calcIntensity[i]);
                  return std::pair(fieldToX(window, width, field), intensityToY(window, height, intensity));
              });
    drawTrace(raster, kObservedPen, std::min(scene.obsField.size(), scene.obsIntensity.size()), drawn,
              [&](std::size_t i) {
                  return std::pair(fieldToX(window, width, scene.obsField[i]),
                                   intensityToY(window, height, scene.obsIntensity[i]));
              });
    drawFrame(scene, raster);
}

} // namespace

void drawScene(const PlotScene& scene, QImage& raster, const std::function<void(double)>& progress)
{
    // The pen writes 32-bit pixels; any other raster is converted once.
    if (!raster.isNull() && raster.format() != QImage::Format_RGB32 && raster.format() != QImage::Format_ARGB32 &&
        raster.format() != QImage::Format_ARGB32_Premultiplied)
        raster.convertTo(QImage::Format_RGB32);
    raster.fill(kGround);
    try {
        drawEverything(scene, raster, progress);
    } catch (...) {
        // A failed mapping leaves no half picture behind.
        raster.fill(kGround);
        throw;
    }
}

void RedrawPlot(ProgramState& state, QImage& raster)
{
    state.PlotHeight = raster.height();
    state.PlotWidth = raster.width();
    drawScene(sceneOf(state, {state.PlotWidth, state.PlotHeight}), raster);
}

std::unique_ptr<RasterPicture> drawPicture(const PlotScene& scene, const std::function<void(double)>& progress)
{
    auto picture = std::make_unique<RasterPicture>();
    picture->raster = QImage(scene.size.width, scene.size.height, QImage::Format_RGB32);
    drawScene(scene, picture->raster, progress);
    return picture;
}

} // namespace ravelle
