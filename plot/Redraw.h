#pragma once

class QImage;

#include "engine/ProgramState.h"

namespace ravelle {

// Paints the whole raster from the program state: black ground, the red
// simulated trace (when one exists) around CalcCenterField and scaled by
// CalcScale, the aqua observed trace (when one exists), the white frame. PlotWidth and PlotHeight become the raster's size.
// Throws UserError when the field window cannot be mapped; the raster is then
// black.
void RedrawPlot(ProgramState& state, QImage& raster);

} // namespace ravelle
