#include "io/formats/Bes3t.h"

#include <cmath>
#include <limits>

#include "engine/UserError.h"
#include "io/formats/FieldUnits.h"
#include "io/formats/Keywords.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

// The keyword lines of the descriptor's layers up to the history.
Keywords descriptorKeywords(std::string_view text)
{
    Keywords keywords{"BSEQ", "IKKF", "IRFMT", "XTYP", "YTYP", "ZTYP", "XPTS", "YPTS", "ZPTS",
                      "XMIN", "XWID", "XFMT", "XUNI", "MWFQ"};
    bool continued = false;
    LineCursor lines(text);
    while (const auto next = lines.next()) {
        const std::string_view line = *next;
        const bool continuing = continued;
        continued = !line.empty() && line.back() == '\\';
        if (continuing)
            continue; // the rest of a long value: none that is read here
        const std::string_view trimmed = trimBlanks(line);
        if (trimmed.starts_with("#MHL"))
            break;
        if (trimmed.empty() || trimmed.front() == '*' || trimmed.front() == '#' || trimmed.front() == '.')
            continue;
        const auto [key, value] = Keywords::splitLine(trimmed);
        keywords.add(key, value);
    }
    return keywords;
}

std::optional<NumberFormat> numberFormatCalled(std::string_view letter)
{
    if (letter == "C") return NumberFormat::int8;
    if (letter == "S") return NumberFormat::int16;
    if (letter == "I") return NumberFormat::int32;
    if (letter == "F") return NumberFormat::float32;
    if (letter == "D") return NumberFormat::float64;
    return std::nullopt;
}

class DescriptorReader {
public:
    DescriptorReader(std::string_view text, const Bes3tNames& names)
        : keywords_(descriptorKeywords(text)), names_(names)
    {
    }

    [[noreturn]] void refuse(const std::string& what) const
    {
        throw UserError(inQuotes(names_.descriptor) + " " + what);
    }

    std::optional<std::string_view> find(std::string_view key) const { return keywords_.find(key); }

    std::string_view required(std::string_view key, std::string_view meaning) const
    {
        const auto value = keywords_.find(key);
        if (!value || value->empty())
            refuse("gives no " + std::string(meaning) + " (" + std::string(key) + ").");
        return *value;
    }

    std::uint64_t count(std::string_view key, std::string_view meaning) const
    {
        const std::string_view text = required(key, meaning);
        const auto value = parseCount(text);
        if (!value)
            refuse("gives " + inQuotes(text) + " as its " + std::string(meaning) + " (" + std::string(key)
                   + "), which is not a count.");
        return *value;
    }

    double number(std::string_view key, std::string_view meaning) const
    {
        const std::string_view text = required(key, meaning);
        const Decimal value = parseDecimal(text);
        if (value.status != Decimal::number)
            refuse("gives " + inQuotes(text) + " as its " + std::string(meaning) + " (" + std::string(key)
                   + "), which is not a finite number.");
        return value.value;
    }

    NumberFormat numberFormat(std::string_view key) const
    {
        const std::string_view text = required(key, "data format");
        const auto format = numberFormatCalled(text);
        if (!format)
            refuse("gives the data format " + std::string(key) + " " + inQuotes(text)
                   + "; only C, S, I, F and D (integers of 8, 16 and 32 bits, floats of 32 and 64 bits) can be "
                     "read.");
        return *format;
    }

    // Slices along y or z: 1 without that axis.
    std::uint64_t slices(char axis) const
    {
        const std::string type = std::string(1, axis) + "TYP";
        const auto kind = keywords_.find(type);
        if (!kind || kind->empty() || *kind == "NODATA")
            return 1;
        const std::uint64_t points = count(std::string(1, axis) + "PTS", "number of slices");
        if (points == 0)
            refuse("gives 0 as its number of slices (" + std::string(1, axis) + "PTS).");
        return points;
    }

private:
    Keywords keywords_;
    const Bes3tNames& names_;
};

} // namespace

std::uint64_t Bes3tLayout::dataBytes() const
{
    return saturatingProduct(saturatingProduct(saturatingProduct(points, slices), valuesPerPoint), bytesPer(format));
}

std::uint64_t Bes3tLayout::firstSliceBytes() const
{
    return points * valuesPerPoint * bytesPer(format); // at most 10^7 x 2 x 8
}

std::uint64_t Bes3tLayout::axisBytes() const
{
    return axisFromFile ? saturatingProduct(points, bytesPer(axisFormat)) : 0;
}

bool isBes3tDescriptor(std::string_view text)
{
    text = withoutUtf8Mark(text);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    return text.starts_with("#DESC");
}

Bes3tLayout parseBes3tDescriptor(std::string_view descriptor, const Bes3tNames& names)
{
    if (!isBes3tDescriptor(descriptor))
        throw UserError(inQuotes(names.descriptor) + " is not a BES3T descriptor: it does not begin with #DESC.");
    const DescriptorReader reader(descriptor, names);
    Bes3tLayout layout;

    const std::string_view order = reader.find("BSEQ").value_or("BIG");
    if (order == "BIG")
        layout.order = ByteOrder::big;
    else if (order == "LIT")
        layout.order = ByteOrder::little;
    else
        reader.refuse("gives the byte order BSEQ " + inQuotes(order) + ", not BIG or LIT.");

    const std::string_view kind = reader.find("IKKF").value_or("REAL");
    if (kind.find(',') != std::string_view::npos)
        reader.refuse("describes several values per point (IKKF " + inQuotes(kind)
                      + "); only data of one value, real or complex, can be read.");
    if (kind == "CPLX")
        layout.valuesPerPoint = 2;
    else if (kind != "REAL")
        reader.refuse("gives the value kind IKKF " + inQuotes(kind) + ", not REAL or CPLX.");
    layout.format = reader.numberFormat("IRFMT");

    const std::string_view axisType = reader.required("XTYP", "x axis type");
    if (axisType == "IGD")
        layout.axisFromFile = true;
    else if (axisType != "IDX")
        reader.refuse("has an x axis of type " + inQuotes(axisType)
                      + "; only IDX (evenly spaced) and IGD (values in the .XGF file) can be read.");

    layout.points = reader.count("XPTS", "number of points");
    if (layout.points < 2)
        reader.refuse("gives " + countText(layout.points) + " as its number of points (XPTS); a spectrum needs at least 2.");
    if (layout.points > kMaxPoints)
        reader.refuse("gives " + countText(layout.points) + " as its number of points (XPTS); at most "
                      + countText(kMaxPoints) + " can be imported.");
    const std::uint64_t ySlices = reader.slices('Y');
    const std::uint64_t zSlices = reader.slices('Z');
    layout.slices = saturatingProduct(ySlices, zSlices);

    if (layout.axisFromFile) {
        layout.axisFormat = reader.find("XFMT") ? reader.numberFormat("XFMT") : layout.format;
    } else {
        layout.xMin = reader.number("XMIN", "first field");
        layout.xWidth = reader.number("XWID", "field width");
    }

    if (const auto unit = reader.find("XUNI")) {
        const auto known = fieldUnitNamed(*unit);
        if (!known)
            reader.refuse("gives its x axis in " + inQuotes(*unit) + " (XUNI), not in G or mT: it is not a field sweep.");
        layout.unit = *known;
    } else {
        layout.notices.push_back(inQuotes(names.descriptor)
                                 + " gives no unit for its field axis (XUNI); the values were taken as gauss.");
    }

    if (const auto frequency = reader.find("MWFQ")) {
        const Decimal hertz = parseDecimal(*frequency);
        if (hertz.status == Decimal::number && hertz.value > 0)
            layout.frequencyGHz = hertz.value / 1e9;
    }

    if (layout.slices > 1)
        layout.notices.push_back(inQuotes(names.descriptor) + " describes a "
                                 + (zSlices > 1 ? "three" : "two") + "-dimensional dataset ("
                                 + countText(layout.slices) + " slices of " + countText(layout.points)
                                 + " points); only the first slice was imported.");
    if (layout.valuesPerPoint == 2)
        layout.notices.push_back(inQuotes(names.descriptor)
                                 + " describes complex data; only the real part was imported.");
    return layout;
}

namespace {

void checkSize(std::uint64_t size, std::uint64_t expected, std::uint64_t values, NumberFormat format,
               const std::string& file, const std::string& descriptor)
{
    if (size == expected)
        return;
    const bool shorter = size < expected;
    const std::string start = inQuotes(file) + " is " + (shorter ? "shorter" : "longer") + " than its descriptor "
        + inQuotes(descriptor) + " says: it holds " + countText(size) + " bytes";
    if (expected == std::numeric_limits<std::uint64_t>::max())
        throw UserError(start + ", far fewer than the values it describes need.");
    throw UserError(start + ", where " + countText(values) + " values of " + countText(bytesPer(format))
                    + " bytes need " + countText(expected) + ".");
}

void checkFinite(const std::vector<double>& values, const std::string& file, std::string_view what)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!std::isfinite(values[i]))
            throw UserError(inQuotes(file) + " holds " + std::string(what) + " that is not a finite number (NaN or infinity) at point "
                            + countText(i + 1) + ".");
}

} // namespace

void checkBes3tDataSize(const Bes3tLayout& layout, std::uint64_t size, const Bes3tNames& names)
{
    checkSize(size, layout.dataBytes(),
              saturatingProduct(saturatingProduct(layout.points, layout.slices), layout.valuesPerPoint),
              layout.format, names.data, names.descriptor);
}

void checkBes3tAxisSize(const Bes3tLayout& layout, std::uint64_t size, const Bes3tNames& names)
{
    checkSize(size, layout.axisBytes(), layout.points, layout.axisFormat, names.axis, names.descriptor);
}

RawSpectrum readBes3tData(const Bes3tLayout& layout, std::string_view data, std::string_view axis,
                          const Bes3tNames& names)
{
    checkBes3tDataSize(layout, data.size(), names);
    return readBes3tSlice(layout, data.substr(0, layout.firstSliceBytes()), axis, names);
}

RawSpectrum readBes3tSlice(const Bes3tLayout& layout, std::string_view slice, std::string_view axis,
                           const Bes3tNames& names)
{
    // Shorter only when the file shrank while it was read.
    if (slice.size() != layout.firstSliceBytes())
        checkBes3tDataSize(layout, slice.size(), names);
    const std::string_view data = slice;
    const auto n = static_cast<std::size_t>(layout.points);

    RawSpectrum spectrum;
    spectrum.format = SpectrumFormat::bes3t;
    spectrum.description = "Bruker BES3T";
    spectrum.frequencyGHz = layout.frequencyGHz;
    spectrum.notices = layout.notices;
    spectrum.intensity.resize(n);
    decodeValues(data, layout.format, layout.order, 0, static_cast<std::size_t>(layout.valuesPerPoint), n,
                 spectrum.intensity.data());
    checkFinite(spectrum.intensity, names.data, "a value");

    spectrum.field.resize(n);
    const double scale = gaussPer(layout.unit);
    if (layout.axisFromFile) {
        checkBes3tAxisSize(layout, axis.size(), names);
        decodeValues(axis, layout.axisFormat, layout.order, 0, 1, n, spectrum.field.data());
        checkFinite(spectrum.field, names.axis, "a field");
        for (double& field : spectrum.field)
            field *= scale;
    } else {
        const double last = static_cast<double>(n - 1);
        for (std::size_t i = 0; i < n; ++i)
            spectrum.field[i] = (layout.xMin + layout.xWidth * static_cast<double>(i) / last) * scale;
    }
    for (const double field : spectrum.field)
        if (!std::isfinite(field))
            throw UserError(inQuotes(names.descriptor) + " gives a field axis beyond the range of numbers.");
    return spectrum;
}

RawSpectrum readBes3t(std::string_view descriptor, std::string_view data, std::string_view axis,
                      const Bes3tNames& names)
{
    return readBes3tData(parseBes3tDescriptor(descriptor, names), data, axis, names);
}

} // namespace ravelle::formats
