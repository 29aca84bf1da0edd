#include "plot/Redraw.h"

#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/FloatingPoint.h"
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

// The simulated spectrum is stored as offsets without the scale; the centre
// and the scale it is drawn with are applied here, each formed in extended
// precision and stored as a double.
void drawSimulatedTrace(const ProgramState& state, QImage& raster)
{
    const std::size_t available = std::min(state.CalcField.size(), state.CalcIntensity.size());
    if (state.CalcSpectrumPoints < 0 || available == 0)
        return;
    const std::size_t last = std::min(static_cast<std::size_t>(state.CalcSpectrumPoints), available - 1);
    const long double centre = state.CalcCenterField;
    const long double scale = state.CalcScale;
    Pen pen(raster, kSimulatedPen);
    for (std::size_t i = 0; i <= last; ++i) {
        const double field = storeDouble(centre + state.CalcField[i]);
        const double intensity = storeDouble(scale * state.CalcIntensity[i]);
        const std::int32_t x = FieldToX(state, field);
        const std::int32_t y = IntensityToY(state, intensity);
        if (i == 0)
            pen.moveTo(x, y);
        else
            pen.lineTo(x, y);
    }
}

void drawObservedTrace(const ProgramState& state, QImage& raster)
{
    const std::size_t available = std::min(state.ObsField.size(), state.ObsIntensity.size());
    if (state.ObsCount < 1 || available < 2)
        return;
    const std::size_t last = std::min(static_cast<std::size_t>(state.ObsCount), available - 1);
    Pen pen(raster, kObservedPen);
    for (std::size_t i = 1; i <= last; ++i) {
        const std::int32_t x = FieldToX(state, state.ObsField[i]);
        const std::int32_t y = IntensityToY(state, state.ObsIntensity[i]);
        if (i == 1)
            pen.moveTo(x, y);
        else
            pen.lineTo(x, y);
    }
}

// Up the left edge, along the top, down the right edge, back along the bottom.
void drawFrame(const ProgramState& state, QImage& raster)
{
    const std::int32_t left = FieldToX(state, state.FrameFieldLow);
    const std::int32_t right = FieldToX(state, state.FrameFieldHigh);
    const std::int32_t bottom = IntensityToY(state, state.FrameIntLow);
    const std::int32_t top = IntensityToY(state, state.FrameIntHigh);
    Pen pen(raster, kFramePen);
    pen.moveTo(left, bottom);
    pen.lineTo(left, top);
    pen.lineTo(right, top);
    pen.lineTo(right, bottom);
    pen.lineTo(left, bottom);
}

} // namespace

void RedrawPlot(ProgramState& state, QImage& raster)
{
    // The pen writes 32-bit pixels; any other raster is converted once.
    if (!raster.isNull() && raster.format() != QImage::Format_RGB32 && raster.format() != QImage::Format_ARGB32 &&
        raster.format() != QImage::Format_ARGB32_Premultiplied)
        raster.convertTo(QImage::Format_RGB32);

    state.PlotHeight = raster.height();
    state.PlotWidth = raster.width();
    raster.fill(kGround);

    try {
        if (hasSimulatedSpectrum(state))
            drawSimulatedTrace(state, raster);
        if (hasObservedSpectrum(state))
            drawObservedTrace(state, raster);
        drawFrame(state, raster);
    } catch (...) {
        // A failed mapping leaves no half picture behind.
        raster.fill(kGround);
        throw;
    }
}

} // namespace ravelle
