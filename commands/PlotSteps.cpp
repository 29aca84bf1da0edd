#include "commands/PlotSteps.h"

#include <utility>

namespace ravelle {

void showPicture(ProgramState& state, CommandHost& host, PixelSize size, std::unique_ptr<PlotPicture> picture)
{
    state.PlotWidth = size.width;
    state.PlotHeight = size.height;
    host.showPlot(std::move(picture));
}

} // namespace ravelle
