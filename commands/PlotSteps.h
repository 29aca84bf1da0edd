#pragma once

#include <memory>

#include "commands/CommandHost.h"
#include "engine/ProgramState.h"
#include "plot/PlotScene.h"

namespace ravelle {

// The last step of Calculate and the import: the picture drawn for the new
// state goes on screen, and PlotWidth and PlotHeight take its size.
void showPicture(ProgramState& state, CommandHost& host, PixelSize size, std::unique_ptr<PlotPicture> picture);

} // namespace ravelle
