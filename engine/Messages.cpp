#include "engine/Messages.h"

#include "engine/BoxNumber.h"
#include "engine/model/Model.h"

namespace ravelle::messages {

namespace {
std::string replaceFirst(std::string_view format, std::string_view placeholder, std::string_view value)
{
    std::string result(format);
    const auto at = result.find(placeholder);
    if (at != std::string::npos)
        result.replace(at, placeholder.size(), value);
    return result;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A message box cannot show a text of a million characters, and laying one
// out freezes the window for seconds; a long text is quoted by its start and
// its end, cut between characters.
std::string quotable(std::string_view text)
{
    if (text.size() <= kLongestQuote)
        return std::string(text);
    std::size_t headEnd = kQuoteHead;
    while (headEnd > 0 && isContinuationByte(text[headEnd]))
        --headEnd;
    std::size_t tailStart = text.size() - kQuoteTail;
    while (tailStart < text.size() && isContinuationByte(text[tailStart]))
        ++tailStart;
    std::string quoted(text.substr(0, headEnd));
    quoted += "…";
    quoted += text.substr(tailStart);
    return quoted;
}

} // namespace

std::string notAReal(std::string_view text) { return replaceFirst(kNotARealFormat, "%s", quotable(text)); }
std::string notAnInteger(std::string_view text) { return replaceFirst(kNotAnIntegerFormat, "%s", quotable(text)); }
std::string ioError(int code) { return replaceFirst(kIoErrorFormat, "%d", std::to_string(code)); }
std::string tooManyObservedLines(std::int32_t most)
{
    return replaceFirst(kTooManyObservedLinesFormat, "%d", std::to_string(most));
}
std::string notARegularFile(std::string_view name) { return replaceFirst(kNotARegularFileFormat, "%s", name); }
std::string importing(std::string_view fileName) { return replaceFirst(kImportingFormat, "%s", fileName); }
std::string saving(std::string_view fileName) { return replaceFirst(kSavingFormat, "%s", fileName); }

std::string modelFieldNotANumber(std::string_view field, std::string_view text)
{
    return std::string(field) + ": '" + quotable(text) + "' is not a number.";
}

std::string modelFieldNotAWholeNumber(std::string_view field, std::string_view text)
{
    return std::string(field) + ": '" + quotable(text) + "' is not a whole number.";
}

std::string tooManySpecies()
{
    return "The model has more than " + std::to_string(model::kMaxSpecies) + " species.";
}

std::string speciesProblem(int species, std::string_view what)
{
    return "Species " + std::to_string(species) + ": " + std::string(what);
}

std::string groupProblem(int species, int group, std::string_view what)
{
    return "Species " + std::to_string(species) + ", group " + std::to_string(group) + ": " + std::string(what);
}

std::string tooManyGroups()
{
    return "it has more than " + std::to_string(model::kMaxGroups) + " nucleus groups.";
}

std::string widthNotPositive(std::string_view width, double m)
{
    // Printed by the program's own general format, with a point whatever
    // the locale.
    return std::string(width) + " falls to 0 or below at m = " + formatGeneral(m, '.') + ".";
}

std::string badNucleusCount()
{
    return "the number of equivalent nuclei must be between 1 and " + std::to_string(model::kMaxEquivalentNuclei) +
           ".";
}

std::string errorBoxText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

} // namespace ravelle::messages
