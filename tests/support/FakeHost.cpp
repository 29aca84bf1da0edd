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

} // namespace ravelle::testing
