#include "cli/HeadlessHost.h"

#include <stdexcept>
#include <utility>

#include "engine/Boxes.h"

namespace ravelle::cli {

HeadlessHost::HeadlessHost()
{
    for (const auto& box : kBoxes)
        boxes_.emplace(std::string(box.name), std::string(box.initialText));
}

namespace {

template <typename Boxes>
auto& boxIn(Boxes& boxes, std::string_view box)
{
    const auto found = boxes.find(box);
    if (found == boxes.end())
        throw std::logic_error("no box named " + std::string(box));
    return found->second;
}

} // namespace

std::string HeadlessHost::boxText(std::string_view box) const
{
    return boxIn(boxes_, box);
}

void HeadlessHost::setBoxText(std::string_view box, const std::string& text)
{
    boxIn(boxes_, box) = text;
}

void HeadlessHost::runLongWork(std::string_view, WorkShown, const std::function<void(const Progress&)>& work)
{
    work([](double) {});
}

PixelSize HeadlessHost::plotSize() const
{
    // The window's plot raster: the plot window the commands set up is the
    // one the window would show.
    return {857, 497};
}

std::unique_ptr<PlotPicture> HeadlessHost::drawPlot(const PlotScene&, const Progress&) const
{
    return std::make_unique<PlotPicture>();
}

void HeadlessHost::showPlot(std::unique_ptr<PlotPicture>) {}

std::optional<std::string> HeadlessHost::runOpenDialog(const std::string&, const std::string&)
{
    return std::exchange(openAnswer_, std::nullopt);
}

std::optional<std::string> HeadlessHost::runSaveDialog(const std::string&, const std::string&)
{
    return std::nullopt;
}

} // namespace ravelle::cli
