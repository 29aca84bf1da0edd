#pragma once

#include <cstdint>

#include "engine/ProgramState.h"

// The plot window (which field and intensity values the raster spans) and the
// mappings from values to pixels. No Qt here.
namespace ravelle {

// Stores the frame (FrameFieldLow/High := low/high, FrameIntLow/High := -1.1/+1.1)
// and derives PlotFieldMin/Max and PlotIntMin/Max with margins of 1.2 % and
// 2.5 % of the frame's extent, in extended precision.
void SetPlotWindow(ProgramState& state, double low, double high);

// Field to pixel column: round((f - PlotFieldMin) * PlotWidth / (PlotFieldMax - PlotFieldMin)),
// ties to even, in extended precision. A window of zero width throws the
// floating-point error. Columns far outside the raster are clamped to a few
// raster widths beyond it (drawing stays correct and fast).
std::int32_t FieldToX(const ProgramState& state, double f);

// Intensity to pixel row: PlotHeight - round((v - PlotIntMin) * PlotHeight / (PlotIntMax - PlotIntMin)).
std::int32_t IntensityToY(const ProgramState& state, double v);

} // namespace ravelle
