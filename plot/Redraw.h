#pragma once

#include <QImage>

#include <functional>
#include <memory>

#include "engine/ProgramState.h"
#include "plot/PlotScene.h"

namespace ravelle {

// Paints the whole raster for a scene: black ground, the red simulated
// trace, the aqua observed trace, the white frame. `progress` hears the
// fraction of the points drawn every so many thousand points and may throw
// to abandon the drawing. Throws UserError when the field window cannot be
// mapped; the raster is then black.
void drawScene(const PlotScene& scene, QImage& raster, const std::function<void(double)>& progress = {});

// Paints the whole raster from the program state (sceneOf): the red
// simulated trace (when one exists) around CalcCenterField and scaled by
// CalcScale, the aqua observed trace (when one exists), the white frame.
// PlotWidth and PlotHeight become the raster's size. Throws as drawScene.
void RedrawPlot(ProgramState& state, QImage& raster);

// A scene drawn into a raster of its own, of the scene's size.
struct RasterPicture : PlotPicture {
    QImage raster;
};
std::unique_ptr<RasterPicture> drawPicture(const PlotScene& scene, const std::function<void(double)>& progress = {});

} // namespace ravelle
