#include "io/formats/EspWinEpr.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/UserError.h"
#include "io/formats/BinaryValues.h"
#include "io/formats/FieldUnits.h"
#include "io/formats/Keywords.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

constexpr std::array<std::string_view, 38> kKnownKeys = {
    "ANZ", "RES", "SSX", "SSY", "GST", "GSI", "HCF", "HSW", "MF", "MP", "JSS", "JON", "JUN",
    "JEX", "JDA", "JTM", "JRE", "JCO", "JSD", "JNS", "RCT", "RTC", "RRG", "RMA", "RMF", "RCO",
    "TE", "TE1", "TES", "EMF", "MIN", "MAX", "DOS", "XXLB", "XYLB", "XXUN", "XYUN", "JUY",
};

bool isKeyLike(std::string_view key)
{
    if (key.empty() || key.size() > 16 || !std::isalpha(static_cast<unsigned char>(key.front())))
        return false;
    return std::all_of(key.begin(), key.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

bool isDosFormat(const Keywords& keywords)
{
    const auto mark = keywords.find("DOS");
    return mark && startsWithIgnoringCase(*mark, "Format");
}

// Mean step between neighbours over the range: near 0 for a sampled
// spectrum, about 1/3 for values without order (bytes read the wrong way).
double roughness(const std::vector<double>& values)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double range = *high - *low;
    if (values.size() < 2 || !(range > 0))
        return 0.0;
    double steps = 0.0;
    for (std::size_t i = 1; i < values.size(); ++i)
        steps += std::fabs(values[i] - values[i - 1]);
    return steps / static_cast<double>(values.size() - 1) / range;
}

struct Decoded {
    std::vector<double> values;
    bool finite = true;
    std::size_t firstNotFinite = 0;
    // Measured values do not spread over more than twelve decades; integers
    // read as floats spread over dozens.
    bool saneMagnitudes = true;
    double roughness = 0.0;
};

Decoded decode(std::string_view data, NumberFormat format, ByteOrder order, std::size_t count)
{
    Decoded decoded;
    decoded.values.resize(count);
    decodeValues(data, format, order, 0, 1, count, decoded.values.data());
    std::vector<double> magnitudes;
    magnitudes.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double value = decoded.values[i];
        if (!std::isfinite(value)) {
            if (decoded.finite)
                decoded.firstNotFinite = i;
            decoded.finite = false;
        } else if (value != 0.0) {
            magnitudes.push_back(std::fabs(value));
        }
    }
    if (!magnitudes.empty()) {
        const auto middle = magnitudes.begin() + static_cast<std::ptrdiff_t>(magnitudes.size() / 2);
        std::nth_element(magnitudes.begin(), middle, magnitudes.end());
        const double largest = *std::max_element(magnitudes.begin(), magnitudes.end());
        decoded.saneMagnitudes = largest <= *middle * 1e12;
    }
    if (decoded.finite)
        decoded.roughness = roughness(decoded.values);
    return decoded;
}

class ParameterReader {
public:
    ParameterReader(std::string_view text, const EspNames& names)
        : keywords_{"ANZ", "RES", "SSX", "SSY", "GST", "GSI", "HCF", "HSW", "JUN", "JEX", "MF", "DOS"}, names_(names)
    {
        keywords_.addLines(withoutUtf8Mark(text));
    }

    [[noreturn]] void refuse(const std::string& what) const
    {
        throw UserError(inQuotes(names_.parameters) + " " + what);
    }

    const Keywords& keywords() const { return keywords_; }

    std::optional<std::uint64_t> count(std::string_view key) const
    {
        const auto text = keywords_.find(key);
        if (!text)
            return std::nullopt;
        const auto value = parseCount(*text);
        if (!value)
            refuse("gives " + inQuotes(*text) + " as " + std::string(key) + ", which is not a count.");
        return value;
    }

    std::optional<double> number(std::string_view key) const
    {
        const auto text = keywords_.find(key);
        if (!text)
            return std::nullopt;
        // Values may carry more after a blank ("SLWH 0.1; 0.1"); the number
        // is the first word.
        const std::string_view first = text->substr(0, text->find_first_of(" \t;"));
        const Decimal value = parseDecimal(first);
        if (value.status != Decimal::number)
            refuse("gives " + inQuotes(*text) + " as " + std::string(key) + ", which is not a finite number.");
        return value.value;
    }

private:
    Keywords keywords_;
    const EspNames& names_;
};

struct Shape {
    std::uint64_t points = 0;
    std::uint64_t slices = 1;
    const char* key = ""; // the key that gave the points
};

Shape shapeFor(const ParameterReader& reader, std::uint64_t values, std::uint64_t bytes, const EspNames& names)
{
    const auto anz = reader.count("ANZ");
    const auto res = reader.count("RES");
    const auto ssx = reader.count("SSX");
    const std::uint64_t ssy = reader.count("SSY").value_or(1);
    if (!anz && !res && !ssx)
        reader.refuse("gives no number of points (ANZ, RES or SSX).");

    Shape shape;
    const auto sweep = ssx ? ssx : res;
    if (ssy > 1 && sweep && bytes % 4 == 0 && saturatingProduct(*sweep, ssy) == values) {
        shape = {*sweep, ssy, ssx ? "SSX" : "RES"};
    } else {
        const std::uint64_t given = anz ? *anz : res ? *res : *ssx;
        const char* key = anz ? "ANZ" : res ? "RES" : "SSX";
        const std::pair<std::optional<std::uint64_t>, const char*> candidates[] = {{anz, "ANZ"}, {res, "RES"}, {ssx, "SSX"}};
        for (const auto& [candidate, name] : candidates)
            if (candidate && *candidate == values && bytes % 4 == 0 && shape.points == 0)
                shape = {*candidate, 1, name};
        if (shape.points == 0) {
            throw UserError(inQuotes(names.data) + " holds " + countText(bytes)
                            + " bytes, which fits neither ESP integers nor WinEPR floats for the "
                            + countText(given) + " points that " + inQuotes(names.parameters) + " gives (" + key
                            + "): 4-byte values need " + countText(saturatingProduct(given, 4)) + " bytes.");
        }
    }
    const std::string given = "gives " + countText(shape.points) + " as its number of points (" + shape.key + ")";
    if (shape.points < 2)
        reader.refuse(given + "; a spectrum needs at least 2.");
    if (shape.points > kMaxPoints)
        reader.refuse(given + "; at most " + countText(kMaxPoints) + " can be imported.");
    return shape;
}

} // namespace

bool looksLikeEspParameters(std::string_view text)
{
    std::size_t lines = 0;
    std::size_t keyLike = 0;
    std::vector<std::string_view> known;
    LineCursor cursor(withoutUtf8Mark(text));
    while (const auto line = cursor.next()) {
        const auto [key, value] = Keywords::splitLine(*line);
        if (key.empty())
            continue;
        if (++lines > 400)
            break;
        if (!isKeyLike(key))
            continue;
        ++keyLike;
        if (std::find(kKnownKeys.begin(), kKnownKeys.end(), key) != kKnownKeys.end()
            && std::find(known.begin(), known.end(), key) == known.end())
            known.push_back(key);
    }
    return known.size() >= 3 && keyLike * 10 >= lines * 8;
}

RawSpectrum readEspWinEpr(std::string_view parameters, std::string_view data, const EspNames& names)
{
    const ParameterReader reader(parameters, names);
    const Keywords& keywords = reader.keywords();

    if (const auto experiment = keywords.find("JEX")) {
        std::string kind = lowerAscii(*experiment);
        std::erase_if(kind, [](char c) { return c == '-' || c == ' ' || c == '_'; });
        if (kind != "fieldsweep")
            reader.refuse("records a " + inQuotes(*experiment) + " experiment (JEX), not a field sweep.");
    }
    FieldUnit unit = FieldUnit::gauss;
    if (const auto unitText = keywords.find("JUN")) {
        const auto known = fieldUnitNamed(*unitText);
        if (!known)
            reader.refuse("gives the field in " + inQuotes(*unitText) + " (JUN), not in G or mT.");
        unit = *known;
    }

    const std::uint64_t values = data.size() / 4;
    const Shape shape = shapeFor(reader, values, data.size(), names);
    const auto n = static_cast<std::size_t>(shape.points);

    const auto gst = reader.number("GST");
    const auto gsi = reader.number("GSI");
    const auto hcf = reader.number("HCF");
    const auto hsw = reader.number("HSW");
    const std::optional<double> width = gsi ? gsi : hsw;
    const std::optional<double> first = gst ? gst : (hcf && width) ? std::optional<double>(*hcf - *width / 2) : std::nullopt;
    if (!first || !width)
        reader.refuse("gives no field axis (GST and GSI, or HCF and HSW).");

    // The mark decides which layout to try first; the values must bear it
    // out, and the other layout is taken only when it clearly fits better.
    const bool dosFormat = isDosFormat(keywords);
    const Decoded floats = decode(data, NumberFormat::float32, ByteOrder::little, n);
    const Decoded integers = decode(data, NumberFormat::int32, ByteOrder::big, n);
    const bool floatsFit = floats.saneMagnitudes;
    constexpr double kOrderless = 0.25; // roughness beyond which values have no order
    constexpr std::size_t kTooFewToJudge = 16;
    const bool integersFit = integers.roughness < kOrderless || n < kTooFewToJudge;
    bool useFloats = dosFormat;
    if (dosFormat) {
        if (floatsFit && !floats.finite)
            throw UserError(inQuotes(names.data) + " holds a value that is not a finite number (NaN or infinity) at point "
                            + countText(floats.firstNotFinite + 1) + ".");
        if (!floatsFit || integers.roughness * 5 < floats.roughness)
            useFloats = !integersFit;
    } else if (floatsFit && floats.finite && floats.roughness * 5 < integers.roughness) {
        useFloats = true;
    } else if (!integersFit) {
        useFloats = floatsFit && floats.finite;
    }
    if (useFloats ? !(floatsFit && floats.finite) : !integersFit)
        throw UserError(inQuotes(names.data) + " holds neither ESP integers (big-endian) nor WinEPR floats "
                        + "(little-endian) that make a spectrum: its values have no order either way.");

    RawSpectrum spectrum;
    spectrum.format = SpectrumFormat::espWinEpr;
    spectrum.description = useFloats ? "Bruker WinEPR" : "Bruker ESP";
    if (useFloats != dosFormat)
        spectrum.notices.push_back(inQuotes(names.parameters) + (dosFormat ? " is marked as WinEPR's" : " is not marked as WinEPR's")
                                   + ", but " + inQuotes(names.data) + " holds "
                                   + (useFloats ? "WinEPR floats" : "ESP integers") + "; it was read as such.");
    if (shape.slices > 1)
        spectrum.notices.push_back(inQuotes(names.parameters) + " describes a two-dimensional spectrum ("
                                   + countText(shape.slices) + " sweeps of " + countText(shape.points)
                                   + " points); only the first sweep was imported.");
    spectrum.intensity = useFloats ? floats.values : integers.values;

    const double scale = gaussPer(unit);
    const double last = static_cast<double>(n - 1);
    spectrum.field.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        spectrum.field[i] = (*first + *width * static_cast<double>(i) / last) * scale;
        if (!std::isfinite(spectrum.field[i]))
            reader.refuse("gives a field axis beyond the range of numbers.");
    }
    // A frequency that does not read is left out; the spectrum does not need it.
    if (const auto frequency = keywords.find("MF")) {
        const Decimal gigahertz = parseDecimal(*frequency);
        if (gigahertz.status == Decimal::number && gigahertz.value > 0)
            spectrum.frequencyGHz = gigahertz.value;
    }
    return spectrum;
}

} // namespace ravelle::formats
