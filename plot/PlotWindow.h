#pragma once

#include <cstdint>

#include "engine/ProgramState.h"

// The plot window (which field and intensity values the raster spans) and the
// mappings from values to pixels. No Qt here.
namespace ravelle {

// The field ends of the plot frame, in gauss, as a command sets them: the
// left and the right edge of the frame (low may exceed high).
struct PlotFrame {
    double low = 0.0;
    double high = 0.0;
};

// A frame with its fixed intensity edges (-1.1, +1.1) and the window around
// it: the values SetPlotWindow stores as FrameFieldLow ... PlotIntMax.
struct PlotWindow {
    double frameFieldLow = 0.0;
    double frameFieldHigh = 0.0;
    double frameIntLow = 0.0;
    double frameIntHigh = 0.0;
    double fieldMin = 0.0; // PlotFieldMin, at column 0
    double fieldMax = 0.0; // PlotFieldMax, at column PlotWidth
    double intMin = 0.0;   // PlotIntMin, at row PlotHeight
    double intMax = 0.0;   // PlotIntMax, at row 0
};

// The window of a frame: margins of 1.2 % and 2.5 % of the frame's extent
// on either side, in extended precision. Throws the overflow error when a
// margin takes the window beyond the double range.
PlotWindow plotWindowOf(PlotFrame frame);
// The window the state holds.
PlotWindow plotWindowOf(const ProgramState& state);

// Stores plotWindowOf(frame) into the state's frame and window variables.
void SetPlotWindow(ProgramState& state, PlotFrame frame);

// Field to pixel column: round((f - PlotFieldMin) * PlotWidth / (PlotFieldMax - PlotFieldMin)),
// ties to even, in extended precision. A window of zero width throws the
// floating-point error. Columns far outside the raster are clamped to a few
// raster widths beyond it (drawing stays correct and fast).
std::int32_t FieldToX(const ProgramState& state, double f);

// Intensity to pixel row: PlotHeight - round((v - PlotIntMin) * PlotHeight / (PlotIntMax - PlotIntMin)).
std::int32_t IntensityToY(const ProgramState& state, double v);

// The same two mappings for a window and a raster size of their own.
std::int32_t fieldToX(const PlotWindow& window, std::int32_t width, double f);
std::int32_t intensityToY(const PlotWindow& window, std::int32_t height, double v);

} // namespace ravelle
