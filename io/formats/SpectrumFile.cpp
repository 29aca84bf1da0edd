#include "io/formats/SpectrumFile.h"

#include <algorithm>
#include <new>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/ObservedImport.h"
#include "io/formats/Bes3t.h"
#include "io/formats/EspWinEpr.h"
#include "io/formats/FieldUnits.h"
#include "io/formats/PartnerFiles.h"
#include "io/formats/Recognition.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

// Enough to see what a file is: a descriptor's or table's first lines.
constexpr std::size_t kRecognitionBytes = 64 * 1024;

constexpr std::string_view kBes3t = "a Bruker BES3T dataset";
using Progress = std::function<void(double)>;

// The part of the whole from `from` to `to` that one step of the reading takes.
Progress share(const Progress& progress, double from, double to)
{
    if (!progress)
        return {};
    return [&progress, from, to](double done) { progress(from + (to - from) * done); };
}
constexpr std::string_view kEsp = "a Bruker ESP or WinEPR spectrum";

// The partner file; its absence refused as "'a.DSC' has no data file
// 'a.DTA' beside it; a Bruker BES3T dataset needs both."
std::string partnerOrRefuse(const std::string& path, std::string_view extension, std::string_view partner,
                            std::string_view dataset)
{
    const auto found = findPartner(path, extension);
    if (found)
        return *found;
    const std::string name = baseName(path);
    const std::string stem = name.substr(0, name.find_last_of('.'));
    throw UserError(inQuotes(name) + " has no " + std::string(partner) + " " + inQuotes(stem + "." + std::string(extension))
                    + " beside it; " + std::string(dataset) + " needs both.");
}

RawSpectrum readBes3tFiles(const std::string& descriptorPath, const Progress& progress)
{
    Bes3tNames names;
    names.descriptor = baseName(descriptorPath);
    const std::string descriptor = openPartner(descriptorPath).readAll(kMaxParameterFileBytes);
    const Bes3tLayout layout = parseBes3tDescriptor(descriptor, names);

    const std::string dataPath = partnerOrRefuse(descriptorPath, "DTA", "data file", kBes3t);
    names.data = baseName(dataPath);
    OpenedFile dataFile = openPartner(dataPath);
    // A size that does not fit is refused before a byte is read.
    checkBes3tDataSize(layout, dataFile.size(), names);
    const std::string slice = dataFile.readStart(static_cast<std::size_t>(layout.firstSliceBytes()), progress);

    std::string axis;
    if (layout.axisFromFile) {
        const std::string axisPath = findPartner(descriptorPath, "XGF").value_or(std::string());
        names.axis = baseName(axisPath);
        if (axisPath.empty())
            throw UserError(inQuotes(names.descriptor) + " takes its field axis from an .XGF file (XTYP IGD), but there is none beside it.");
        OpenedFile axisFile = openPartner(axisPath);
        checkBes3tAxisSize(layout, axisFile.size(), names);
        axis = axisFile.readStart(static_cast<std::size_t>(layout.axisBytes()));
    }
    return readBes3tSlice(layout, slice, axis, names);
}

RawSpectrum readEspFiles(const std::string& parametersPath, const std::string& dataPath, const Progress& progress)
{
    EspNames names{baseName(parametersPath), baseName(dataPath)};
    const std::string parameters = openPartner(parametersPath).readAll(kMaxParameterFileBytes);
    const std::string data = openPartner(dataPath).readAll(kMaxDataFileBytes, progress);
    return readEspWinEpr(parameters, data, names);
}

std::optional<RawSpectrum> read(const std::string& path, const TableChoice& choice, const Progress& progress)
{
    OpenedFile chosen(path);
    const std::string start = chosen.readStart(kRecognitionBytes);
    const Content content = recogniseContent(start, start.size() == chosen.size());
    const std::string extension = extensionOf(path);
    // Binary data may look like UTF-16 (small 16-bit integers do).
    const bool binary = content == Content::binary || content == Content::utf16Text;

    // A binary file is known by the text file beside it.
    if (content != Content::bes3tDescriptor
        && (extension == "dta" || extension == "xgf" || extension == "ygf" || extension == "zgf")) {
        const auto descriptor = findPartner(path, "DSC");
        if (binary)
            return readBes3tFiles(partnerOrRefuse(path, "DSC", "descriptor", kBes3t), progress);
        if (descriptor && isBes3tDescriptor(openPartner(*descriptor).readStart(kRecognitionBytes)))
            return readBes3tFiles(*descriptor, progress);
    }
    if (content != Content::espParameters && extension == "spc") {
        const auto parameters = findPartner(path, "par");
        const bool known = parameters && looksLikeEspParameters(openPartner(*parameters).readStart(kRecognitionBytes));
        if (known)
            return readEspFiles(*parameters, path, progress);
        if (binary) {
            const std::string partner = partnerOrRefuse(path, "par", "parameter file", kEsp);
            throw UserError(inQuotes(baseName(partner)) + " beside " + inQuotes(baseName(path))
                            + " is not an ESP or WinEPR parameter file.");
        }
    }

    switch (content) {
    case Content::bes3tDescriptor:
        return readBes3tFiles(path, progress);
    case Content::espParameters:
        return readEspFiles(path, partnerOrRefuse(path, "spc", "spectrum file", kEsp), progress);
    case Content::labelledTable: {
        // Taking the rows apart costs more than reading the bytes.
        constexpr double kBytesShare = 0.2;
        const std::string text = chosen.readAll(kMaxDataFileBytes, share(progress, 0, kBytesShare));
        return readLabelledTable(text, baseName(path), choice, share(progress, kBytesShare, 1));
    }
    case Content::utf16Text:
        throw UserError(inQuotes(baseName(path))
                        + " is UTF-16 text, which cannot be read; save it as plain text (ASCII or UTF-8) first.");
    case Content::binary:
    case Content::other:
        break;
    }
    return std::nullopt;
}

} // namespace

std::optional<RawSpectrum> readSpectrumFile(const std::string& path, const TableChoice& choice,
                                            const Progress& progress)
{
    try {
        return read(path, choice, progress);
    } catch (const std::bad_alloc&) {
        throw UserError(std::string(messages::kNoMemoryForObservedFile));
    }
}

ObservedSpectrum asObservedSpectrum(const RawSpectrum& spectrum)
{
    ObservedSpectrum observed;
    observed.count = static_cast<std::int32_t>(spectrum.field.size()); // at most kMaxPoints
    observed.field.assign(spectrum.field.size() + 10, 0.0);
    observed.intensity.assign(spectrum.field.size() + 10, 0.0);
    std::copy(spectrum.field.begin(), spectrum.field.end(), observed.field.begin() + 1);
    std::copy(spectrum.intensity.begin(), spectrum.intensity.end(), observed.intensity.begin() + 1);
    return observed;
}

} // namespace ravelle::formats
