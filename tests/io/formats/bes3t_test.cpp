#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "io/formats/Bes3t.h"
#include "tests/io/formats/FormatsTesting.h"

namespace ravelle::formats {
namespace {

using testing::errorOf;

const Bes3tNames kNames{"a.DSC", "a.DTA", "a.XGF"};

// A descriptor of the keys given (an empty value leaves the key out), on
// top of a one-dimensional field sweep of four 64-bit floats.
std::string descriptor(const std::map<std::string, std::string>& changes = {})
{
    std::map<std::string, std::string> keys = {
        {"BSEQ", "BIG"}, {"IKKF", "REAL"}, {"XTYP", "IDX"}, {"YTYP", "NODATA"}, {"IRFMT", "D"},
        {"XPTS", "4"},   {"XMIN", "3400.000000"}, {"XWID", "30.000000"}, {"XUNI", "'G'"},
    };
    for (const auto& [key, value] : changes)
        keys[key] = value;
    std::string text = "#DESC\t1.2 * DESCRIPTOR INFORMATION *****\n*\n";
    for (const auto& [key, value] : keys)
        if (!value.empty())
            text += key + "\t" + value + "\n";
    return text + "*\n#SPL\t1.2 * STANDARD PARAMETER LAYER\n*\n";
}

// Values stored as the format and byte order say, written out byte by byte.
std::string stored(const std::vector<double>& values, char format, bool big)
{
    std::string bytes;
    for (const double value : values) {
        std::uint64_t bits = 0;
        int size = 0;
        switch (format) {
        case 'C': bits = static_cast<std::uint8_t>(static_cast<std::int8_t>(value)), size = 1; break;
        case 'S': bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), size = 2; break;
        case 'I': bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(value)), size = 4; break;
        case 'F': bits = std::bit_cast<std::uint32_t>(static_cast<float>(value)), size = 4; break;
        case 'D': bits = std::bit_cast<std::uint64_t>(value), size = 8; break;
        }
        for (int k = 0; k < size; ++k) {
            const int shift = 8 * (big ? size - 1 - k : k);
            bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
        }
    }
    return bytes;
}

TEST(Bes3t, ReadsEveryFormatInBothByteOrders)
{
    const std::vector<double> values = {-3, 0, 2, 5};
    // The imaginary parts of complex data, interleaved after each real part.
    const std::vector<double> complexValues = {-3, 99, 0, 98, 2, 97, 5, 96};
    const struct {
        const char* irfmt;
        const char* bseq; // "" leaves it out: big-endian
        const char* ikkf;
    } cases[] = {
        {"C", "BIG", "REAL"}, {"S", "LIT", "REAL"}, {"S", "", "REAL"},    {"I", "BIG", "CPLX"}, {"I", "LIT", "REAL"},
        {"F", "LIT", "REAL"}, {"F", "BIG", "CPLX"}, {"D", "BIG", "REAL"}, {"D", "LIT", "CPLX"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.irfmt) + " " + row.bseq + " " + row.ikkf);
        const bool complex = std::string(row.ikkf) == "CPLX";
        const std::string data = stored(complex ? complexValues : values, row.irfmt[0], std::string(row.bseq) != "LIT");
        const RawSpectrum read = readBes3t(descriptor({{"IRFMT", row.irfmt}, {"BSEQ", row.bseq}, {"IKKF", row.ikkf}}),
                                           data, {}, kNames);
        EXPECT_EQ(read.intensity, values);
        EXPECT_EQ(read.field, (std::vector<double>{3400, 3410, 3420, 3430}));
        EXPECT_EQ(read.format, SpectrumFormat::bes3t);
        EXPECT_EQ(read.notices.size(), complex ? 1u : 0u);
    }
}

TEST(Bes3t, BuildsTheFieldAxisInGauss)
{
    const struct {
        std::map<std::string, std::string> keys;
        std::string axis;
        std::vector<double> fields;
    } cases[] = {
        {{{"XMIN", "3332.7"}, {"XWID", "300.5"}, {"XPTS", "3"}}, "", {3332.7, 3332.7 + 300.5 / 2, 3332.7 + 300.5}},
        {{{"XMIN", "340"}, {"XWID", "-3"}, {"XUNI", "'mT'"}}, "", {3400, 3390, 3380, 3370}},
        {{{"XMIN", "0.5"}, {"XWID", "0.25"}, {"XPTS", "2"}, {"XUNI", "T"}}, "", {5000, 7500}},
        {{{"XTYP", "IGD"}, {"XUNI", "'mT'"}}, stored({340, 340.5, 341.5, 343}, 'D', true), {3400, 3405, 3415, 3430}},
        // The axis file in the data's own format unless XFMT gives another.
        {{{"XTYP", "IGD"}, {"IRFMT", "F"}, {"BSEQ", "LIT"}}, stored({3400, 3401, 3403, 3406}, 'F', false),
         {3400, 3401, 3403, 3406}},
        {{{"XTYP", "IGD"}, {"IRFMT", "S"}, {"XFMT", "D"}}, stored({3400.25, 3401, 3403, 3406}, 'D', true),
         {3400.25, 3401, 3403, 3406}},
    };
    for (const auto& row : cases) {
        const std::string text = descriptor(row.keys);
        SCOPED_TRACE(text);
        const Bes3tLayout layout = parseBes3tDescriptor(text, kNames);
        const std::string data(layout.dataBytes(), '\0');
        EXPECT_EQ(readBes3tData(layout, data, row.axis, kNames).field, row.fields);
    }
}

TEST(Bes3t, TakesTheFrequencyInHertzAndSaysWhatItLeftOut)
{
    const struct {
        std::map<std::string, std::string> keys;
        std::optional<double> frequencyGHz;
        std::vector<std::string> notices;
    } cases[] = {
        {{{"MWFQ", "9.806665e+09"}}, 9.806665, {}},
        {{{"MWFQ", "n/a"}}, std::nullopt, {}},
        {{{"MWFQ", "-1"}}, std::nullopt, {}},
        {{{"XUNI", ""}}, std::nullopt,
         {"'a.DSC' gives no unit for its field axis (XUNI); the values were taken as gauss."}},
        {{{"YTYP", "IDX"}, {"YPTS", "20"}}, std::nullopt,
         {"'a.DSC' describes a two-dimensional dataset (20 slices of 4 points); only the first slice was imported."}},
        {{{"YTYP", "IGD"}, {"YPTS", "1"}}, std::nullopt, {}},
        {{{"YTYP", "IDX"}, {"YPTS", "2"}, {"ZTYP", "IDX"}, {"ZPTS", "3"}, {"IKKF", "CPLX"}}, std::nullopt,
         {"'a.DSC' describes a three-dimensional dataset (6 slices of 4 points); only the first slice was imported.",
          "'a.DSC' describes complex data; only the real part was imported."}},
    };
    for (const auto& row : cases) {
        const std::string text = descriptor(row.keys);
        SCOPED_TRACE(text);
        const Bes3tLayout layout = parseBes3tDescriptor(text, kNames);
        const RawSpectrum read = readBes3tData(layout, std::string(layout.dataBytes(), '\0'), {}, kNames);
        EXPECT_EQ(read.frequencyGHz, row.frequencyGHz);
        EXPECT_EQ(read.notices, row.notices);
    }
}

TEST(Bes3t, RefusesADescriptorItCannotFollow)
{
    const std::string refusal = "'a.DSC' ";
    const struct {
        std::map<std::string, std::string> keys;
        std::string message;
    } cases[] = {
        {{{"BSEQ", "MID"}}, "gives the byte order BSEQ 'MID', not BIG or LIT."},
        {{{"IKKF", "REAL,REAL"}}, "describes several values per point (IKKF 'REAL,REAL'); only data of one value, real or complex, can be read."},
        {{{"IKKF", "IMAG"}}, "gives the value kind IKKF 'IMAG', not REAL or CPLX."},
        {{{"IRFMT", ""}}, "gives no data format (IRFMT)."},
        {{{"IRFMT", "A"}}, "gives the data format IRFMT 'A'; only C, S, I, F and D (integers of 8, 16 and 32 bits, floats of 32 and 64 bits) can be read."},
        {{{"XTYP", "IGD"}, {"XFMT", "Q"}}, "gives the data format XFMT 'Q'; only C, S, I, F and D (integers of 8, 16 and 32 bits, floats of 32 and 64 bits) can be read."},
        {{{"XTYP", "NTUP"}}, "has an x axis of type 'NTUP'; only IDX (evenly spaced) and IGD (values in the .XGF file) can be read."},
        {{{"XTYP", ""}}, "gives no x axis type (XTYP)."},
        {{{"XPTS", ""}}, "gives no number of points (XPTS)."},
        {{{"XPTS", "-4"}}, "gives '-4' as its number of points (XPTS), which is not a count."},
        {{{"XPTS", "1"}}, "gives 1 as its number of points (XPTS); a spectrum needs at least 2."},
        {{{"XPTS", "10000001"}}, "gives 10000001 as its number of points (XPTS); at most 10000000 can be imported."},
        {{{"XPTS", "2147483648"}}, "gives 2147483648 as its number of points (XPTS); at most 10000000 can be imported."},
        {{{"XPTS", "99999999999999999999999"}}, "gives 18446744073709551615 as its number of points (XPTS); at most 10000000 can be imported."},
        {{{"XMIN", "nan"}}, "gives 'nan' as its first field (XMIN), which is not a finite number."},
        {{{"XWID", ""}}, "gives no field width (XWID)."},
        {{{"XUNI", "'ns'"}}, "gives its x axis in 'ns' (XUNI), not in G or mT: it is not a field sweep."},
        {{{"YTYP", "IDX"}}, "gives no number of slices (YPTS)."},
        {{{"YTYP", "IDX"}, {"YPTS", "0"}}, "gives 0 as its number of slices (YPTS)."},
    };
    for (const auto& row : cases) {
        const std::string text = descriptor(row.keys);
        SCOPED_TRACE(text);
        EXPECT_EQ(errorOf([&] { parseBes3tDescriptor(text, kNames); }), refusal + row.message);
    }
    EXPECT_EQ(errorOf([] { parseBes3tDescriptor("XPTS 4\n#DESC\n", kNames); }),
              "'a.DSC' is not a BES3T descriptor: it does not begin with #DESC.");
}

TEST(Bes3t, RefusesDataThatDoNotFitTheDescriptor)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::string fourDoubles = stored({1, 2, 3, 4}, 'D', true);
    const struct {
        std::map<std::string, std::string> keys;
        std::string data;
        std::string axis;
        std::string message;
    } cases[] = {
        {{}, fourDoubles.substr(0, 31), "", "'a.DTA' is shorter than its descriptor 'a.DSC' says: it holds 31 bytes, where 4 values of 8 bytes need 32."},
        {{}, fourDoubles + "x", "", "'a.DTA' is longer than its descriptor 'a.DSC' says: it holds 33 bytes, where 4 values of 8 bytes need 32."},
        {{{"IKKF", "CPLX"}, {"YTYP", "IDX"}, {"YPTS", "3"}}, fourDoubles, "", "'a.DTA' is shorter than its descriptor 'a.DSC' says: it holds 32 bytes, where 24 values of 8 bytes need 192."},
        {{{"YTYP", "IDX"}, {"YPTS", "99999999999999999999"}}, fourDoubles, "", "'a.DTA' is shorter than its descriptor 'a.DSC' says: it holds 32 bytes, far fewer than the values it describes need."},
        {{{"XTYP", "IGD"}}, fourDoubles, fourDoubles.substr(8), "'a.XGF' is shorter than its descriptor 'a.DSC' says: it holds 24 bytes, where 4 values of 8 bytes need 32."},
        {{}, stored({1, 2, nan, 4}, 'D', true), "", "'a.DTA' holds a value that is not a finite number (NaN or infinity) at point 3."},
        {{{"IRFMT", "F"}}, stored({-infinity, 2, 3, 4}, 'F', true), "", "'a.DTA' holds a value that is not a finite number (NaN or infinity) at point 1."},
        {{{"XTYP", "IGD"}}, fourDoubles, stored({1, infinity, 3, 4}, 'D', true), "'a.XGF' holds a field that is not a finite number (NaN or infinity) at point 2."},
        {{{"XMIN", "1e308"}, {"XWID", "1"}, {"XUNI", "T"}}, fourDoubles, "", "'a.DSC' gives a field axis beyond the range of numbers."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(errorOf([&] { readBes3t(descriptor(row.keys), row.data, row.axis, kNames); }), row.message);
    }
    // Only the slice that is read must be finite.
    const std::string secondSliceNaN = stored({1, 2, 3, 4, nan, 0, 0, 0}, 'D', true);
    EXPECT_EQ(readBes3t(descriptor({{"YTYP", "IDX"}, {"YPTS", "2"}}), secondSliceNaN, {}, kNames).intensity,
              (std::vector<double>{1, 2, 3, 4}));
}

TEST(Bes3t, StopsAtTheHistoryAndSkipsContinuedValues)
{
    // The continuation of a comment reads "MWFQ 1.0e+09" and the history
    // after #MHL gives MWFQ 2.0e+09; neither is a frequency of the dataset.
    const std::string text = testing::fileBytes(testing::quirkFile("descriptor_with_history.DSC"));
    const RawSpectrum read = readBes3t(text, stored({1, -2, 5, 3}, 'S', false), {}, kNames);
    EXPECT_EQ(read.intensity, (std::vector<double>{1, -2, 5, 3}));
    EXPECT_FALSE(read.frequencyGHz.has_value());
}

TEST(Bes3t, RecognisesADescriptorByItsFirstLine)
{
    const struct {
        std::string text;
        bool descriptor;
    } cases[] = {
        {"#DESC\t1.2 * DESCRIPTOR", true},
        {"\xEF\xBB\xBF#DESC 1.2", true},
        {"\r\n\n  #DESC", true},
        {"* #DESC", false},
        {"#DES", false},
        {"", false},
    };
    for (const auto& row : cases)
        EXPECT_EQ(isBes3tDescriptor(row.text), row.descriptor) << row.text;
}

} // namespace
} // namespace ravelle::formats
