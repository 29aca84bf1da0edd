#include "tests/support/FakeHost.h"

#include <stdexcept>

#include "engine/Boxes.h"
#include "plot/Redraw.h"

namespace ravelle::testing {

FakeHost::FakeHost(ProgramState& state, char separator) : state(state), separator(separator)
{
    for (const auto& box : kBoxes)
        boxes.emplace(std::string(box.name), std::string(box.initialText));
}

std::string FakeHost::boxText(std::string_view box) const
{
    const auto found = boxes.find(box);
    if (found == boxes.end())
        throw std::logic_error("no box named " + std::string(box));
    return found->second;
}

void FakeHost::setBoxText(std::string_view box, const std::string& text)
{
    const auto found = boxes.find(box);
    if (found == boxes.end())
        throw std::logic_error("no box named " + std::string(box));
    found->second = text;
}

void FakeHost::setBoxes(const std::map<std::string, std::string>& texts)
{
    for (const auto& [box, text] : texts)
        setBoxText(box, text);
}

void FakeHost::redrawPlot()
{
    if (raster.isNull())
        raster = QImage(857, 497, QImage::Format_RGB32);
    ++redrawCount;
    RedrawPlot(state, raster);
}

void FakeHost::runLongWork(std::string_view title, WorkShown shown, const std::function<void(const Progress&)>& work)
{
    works.push_back({std::string(title), shown, 0});
    const std::size_t run = works.size() - 1;
    const int cancelAt = cancelAtReport >= 0 && cancelInWork == 0 ? cancelAtReport : -1;
    if (cancelAtReport >= 0 && cancelInWork > 0)
        --cancelInWork;
    work([this, run, cancelAt](double) {
        if (works[run].reports++ == cancelAt) {
            cancelAtReport = -1;
            throw WorkCancelled();
        }
    });
}

PixelSize FakeHost::plotSize() const
{
    return raster.isNull() ? PixelSize{857, 497} : PixelSize{raster.width(), raster.height()};
}

std::unique_ptr<PlotPicture> FakeHost::drawPlot(const PlotScene& scene, const Progress& progress) const
{
    return drawPicture(scene, progress);
}

void FakeHost::showPlot(std::unique_ptr<PlotPicture> picture)
{
    ++redrawCount;
    raster = std::move(static_cast<RasterPicture&>(*picture).raster);
}

std::optional<std::string> FakeHost::runOpenDialog(const std::string& initialDir, const std::string& fileName)
{
    openCalls.push_back({initialDir, fileName});
    log.push_back("open: " + initialDir + " | " + fileName);
    if (openAnswers.empty())
        return std::nullopt;
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakeHost::runSaveDialog(const std::string& initialDir, const std::string& fileName)
{
    saveCalls.push_back({initialDir, fileName});
    log.push_back("save: " + initialDir + " | " + fileName);
    if (saveAnswers.empty())
        return std::nullopt;
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

std::optional<std::size_t> FakeHost::chooseIntensityColumn(const ColumnChoice& choice)
{
    columnCalls.push_back(choice);
    log.push_back("columns: " + choice.fileName + " | " + choice.labels.at(choice.preselected));
    if (columnAnswers.empty())
        return choice.preselected;
    auto answer = columnAnswers.front();
    columnAnswers.pop_front();
    return answer;
}

} // namespace ravelle::testing
