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

// Parameter sets and the column dialog.
namespace ravelle::messages {

namespace {
std::string quoted(std::string_view text)
{
    std::string result = "'";
    result += quotable(text);
    result += "'";
    return result;
}
std::string inBrackets(std::string_view section)
{
    std::string text = "[";
    text += section;
    text += "]";
    return text;
}
} // namespace

std::string columnDialogText(std::string_view file, std::string_view fieldLabel)
{
    std::string text = quoted(file);
    text += " holds several spectra. Choose the column to import; the field is read from column ";
    text += quoted(fieldLabel);
    text += ".";
    return text;
}

std::string parameterSetNotOne(std::string_view file)
{
    return quoted(file) + " is not a Ravelle2 parameter set: its first line is not '[Ravelle2 parameter set]'.";
}

std::string parameterSetNewer(std::string_view file, std::string_view version)
{
    return quoted(file) + " was saved by a newer Ravelle2 (parameter-set version " + quotable(version) +
           "); this one opens version 1 only.";
}

std::string parameterSetCutShort(std::string_view file)
{
    return quoted(file) + " is incomplete: it ends before its line '[End]', so it was probably cut short.";
}

std::string parameterSetTooLarge(std::string_view file, std::uint64_t size, std::uint64_t most)
{
    return quoted(file) + " holds " + std::to_string(size) + " bytes, more than the " + std::to_string(most) +
           " a parameter set may have.";
}

std::string parameterSetMissingSection(std::string_view file, std::string_view section)
{
    return quoted(file) + " lacks its section " + inBrackets(section) + ".";
}

std::string parameterSetLine(std::string_view file, std::size_t line, std::string_view problem)
{
    return std::string("Line ") + std::to_string(line) + " of " + quoted(file) + ": " + std::string(problem);
}

std::string parameterSetNotSaved(std::string_view problem)
{
    return std::string("The parameter set was not saved: ") + std::string(problem);
}

std::string parameterNotALine(std::string_view text)
{
    return quoted(text) + " is neither a section such as '[Main window]' nor an entry 'name = value'.";
}

std::string parameterSectionMustComeFirst(std::string_view section, std::string_view first)
{
    std::string text = "the section ";
    text += quoted(inBrackets(section));
    text += " does not belong here; ";
    text += inBrackets(first);
    text += " must come first.";
    return text;
}

std::string parameterSectionOutOfOrder(std::string_view section, std::string_view previous, std::string_view nextGroup,
                                       std::string_view nextSpecies)
{
    std::string text = "the section ";
    text += quoted(inBrackets(section));
    text += " does not belong here; ";
    text += inBrackets(nextGroup);
    text += ", ";
    text += inBrackets(nextSpecies);
    text += " or [End] may follow ";
    text += inBrackets(previous);
    text += ".";
    return text;
}

std::string parameterUnknownEntry(std::string_view section, std::string_view entry)
{
    return quoted(entry) + " is no entry of " + inBrackets(section) + ".";
}

std::string parameterRepeatedEntry(std::string_view section, std::string_view entry)
{
    return quoted(entry) + " is given twice in " + inBrackets(section) + ".";
}

std::string parameterMissingEntry(std::string_view section, std::string_view entry)
{
    return inBrackets(section) + " lacks its entry " + quoted(entry) + ".";
}

std::string parameterUnknownIsotope(std::string_view isotope)
{
    return quoted(isotope) + " is no isotope the model knows (they are written like 1H, 13C, 14N).";
}

std::string parameterBadLineShape(std::string_view text)
{
    return quoted(text) + " is no line shape: it must be Gaussian, Lorentzian or Voigt.";
}

std::string parameterBadFlag(std::string_view text)
{
    return quoted(text) + " must be yes or no.";
}

std::string parameterTextTooLong(std::string_view section, std::string_view entry, std::size_t length,
                                 std::size_t most)
{
    std::string text = quoted(entry);
    text += " in ";
    text += inBrackets(section);
    text += " holds " + std::to_string(length) + " characters; a box holds at most " + std::to_string(most) + ".";
    return text;
}

std::string parameterTooManyGroups(std::string_view species, std::size_t most)
{
    return std::string(species) + " has more than " + std::to_string(most) + " nucleus groups, the most the model takes.";
}

std::string parameterTooManySpecies(std::size_t most)
{
    return std::string("there are more than ") + std::to_string(most) + " species, the most the model takes.";
}

} // namespace ravelle::messages
