#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "io/formats/EspWinEpr.h"
#include "tests/io/formats/FormatsTesting.h"

namespace ravelle::formats {
namespace {

using testing::errorOf;

const EspNames kNames{"a.par", "a.spc"};

// ESP: big-endian 32-bit integers.
std::string espValues(const std::vector<double>& values)
{
    std::string bytes;
    for (const double value : values) {
        const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
        for (const int shift : {24, 16, 8, 0})
            bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    return bytes;
}

// WinEPR: little-endian 32-bit floats.
std::string winEprValues(const std::vector<double>& values)
{
    std::string bytes;
    for (const double value : values) {
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
        for (const int shift : {0, 8, 16, 24})
            bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    return bytes;
}

// A smooth trace of n points, like a measured derivative line.
std::vector<double> trace(std::size_t n, double height)
{
    std::vector<double> values;
    for (std::size_t i = 0; i < n; ++i)
        values.push_back(std::round(height * std::sin(static_cast<double>(i) / 6.0)));
    return values;
}

TEST(EspWinEpr, ReadsBothLayoutsWithEitherLineEndAndAxis)
{
    const std::vector<double> four = {-3, 0, 2, 5};
    const std::vector<double> sweep = {3400, 3410, 3420, 3430};
    const struct {
        std::string parameters;
        std::string data;
        const char* description;
        std::vector<double> fields;
        std::vector<double> intensities;
        std::optional<double> frequencyGHz;
    } cases[] = {
        {"JSS 0\rGST 3400.000000\rGSI 30.000000\rJUN G\rRES 4\rMF  9.770268\r", espValues(four), "Bruker ESP", sweep, four, 9.770268},
        {"DOS  Format\nANZ 4\nGST 3400\nGSI 30\nMF 9.5\n", winEprValues(four), "Bruker WinEPR", sweep, four, 9.5},
        {"DOS  Format\r\nANZ 4\r\nRES 4\r\nGST 3400\r\nGSI 30", winEprValues(four), "Bruker WinEPR", sweep, four, std::nullopt},
        // Centre and width where the first field and its span are not given.
        {"HCF 3415\rHSW 30\rSSX 4\r", espValues(four), "Bruker ESP", sweep, four, std::nullopt},
        // GST and GSI win over HCF and HSW, as in WinEPR's own files.
        {"GST 3400\rGSI 30\rHCF 3000\rHSW 10\rRES 4\rJEX field-sweep\r", espValues(four), "Bruker ESP", sweep, four, std::nullopt},
        {"GST 340\rGSI 3\rJUN mT\rRES 4\rMF n/a\r", espValues(four), "Bruker ESP", sweep, four, std::nullopt},
        {"HCF 341.5\rHSW 3\rJUN 'mT'\rANZ 4\rJEX Field Sweep\r", espValues(four), "Bruker ESP", sweep, four, std::nullopt},
        // Two sweeps of four: the first.
        {"GST 3400\rGSI 30\rSSX 4\rSSY 2\rANZ 8\r", espValues({-3, 0, 2, 5, 9, 9, 9, 9}), "Bruker ESP", sweep, four, std::nullopt},
        // More points than a first look at the counts says: the size decides.
        {"GST 3400\rGSI 70\rANZ 8\rRES 4\r", espValues({-3, 0, 2, 5, 4, 3, 2, 1}), "Bruker ESP",
         {3400, 3410, 3420, 3430, 3440, 3450, 3460, 3470}, {-3, 0, 2, 5, 4, 3, 2, 1}, std::nullopt},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.parameters);
        const RawSpectrum read = readEspWinEpr(row.parameters, row.data, kNames);
        EXPECT_EQ(read.description, row.description);
        EXPECT_EQ(read.field, row.fields);
        EXPECT_EQ(read.intensity, row.intensities);
        EXPECT_EQ(read.frequencyGHz, row.frequencyGHz);
        EXPECT_EQ(read.format, SpectrumFormat::espWinEpr);
    }
    EXPECT_EQ(readEspWinEpr("GST 3400\rGSI 30\rSSX 4\rSSY 2\r", espValues({-3, 0, 2, 5, 9, 9, 9, 9}), kNames).notices,
              std::vector<std::string>{"'a.par' describes a two-dimensional spectrum (2 sweeps of 4 points); only the first sweep was imported."});
}

TEST(EspWinEpr, TheValuesOverruleTheMarkOfTheLayout)
{
    const std::vector<double> values = trace(64, 9000);
    const std::string axis = "ANZ 64\rGST 3400\rGSI 63\r";
    const struct {
        std::string parameters;
        std::string data;
        const char* description;
        std::vector<std::string> notices;
    } cases[] = {
        {"DOS  Format\r" + axis, winEprValues(values), "Bruker WinEPR", {}},
        {axis, espValues(values), "Bruker ESP", {}},
        {axis, winEprValues(values), "Bruker WinEPR",
         {"'a.par' is not marked as WinEPR's, but 'a.spc' holds WinEPR floats; it was read as such."}},
        {"DOS  Format\r" + axis, espValues(values), "Bruker ESP",
         {"'a.par' is marked as WinEPR's, but 'a.spc' holds ESP integers; it was read as such."}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.parameters);
        const RawSpectrum read = readEspWinEpr(row.parameters, row.data, kNames);
        EXPECT_EQ(read.description, row.description);
        EXPECT_EQ(read.intensity, values);
        EXPECT_EQ(read.notices, row.notices);
    }
}

TEST(EspWinEpr, RefusesWhatDoesNotMakeASpectrum)
{
    const std::string four = espValues({-3, 0, 2, 5});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::string noise;
    std::uint32_t state = 12345;
    for (int i = 0; i < 256; ++i) {
        state = state * 1103515245u + 12345u;
        noise.push_back(static_cast<char>(state >> 24));
    }
    std::vector<double> withNaN = trace(64, 100);
    withNaN[9] = nan;
    const struct {
        std::string parameters;
        std::string data;
        std::string message;
    } cases[] = {
        {"GST 3400\rGSI 30\rJUN G\r", four, "'a.par' gives no number of points (ANZ, RES or SSX)."},
        {"GST 3400\rGSI 30\rANZ 4\r", four.substr(0, 15),
         "'a.spc' holds 15 bytes, which fits neither ESP integers nor WinEPR floats for the 4 points that 'a.par' gives (ANZ): 4-byte values need 16 bytes."},
        {"GST 3400\rGSI 30\rRES 4\r", four + four,
         "'a.spc' holds 32 bytes, which fits neither ESP integers nor WinEPR floats for the 4 points that 'a.par' gives (RES): 4-byte values need 16 bytes."},
        {"DOS  Format\rGST 3400\rGSI 30\rANZ 64\r", noise,
         "'a.spc' holds neither ESP integers (big-endian) nor WinEPR floats (little-endian) that make a spectrum: its values have no order either way."},
        {"GST 3400\rGSI 30\rANZ 64\r", noise,
         "'a.spc' holds neither ESP integers (big-endian) nor WinEPR floats (little-endian) that make a spectrum: its values have no order either way."},
        {"DOS  Format\rGST 3400\rGSI 30\rANZ 64\r", winEprValues(withNaN),
         "'a.spc' holds a value that is not a finite number (NaN or infinity) at point 10."},
        {"GST 3400\rGSI 30\rANZ 1\r", four.substr(0, 4), "'a.par' gives 1 as its number of points (ANZ); a spectrum needs at least 2."},
        {"GST 3400\rGSI 30\rANZ 10000001\r", std::string(40000004, '\0'),
         "'a.par' gives 10000001 as its number of points (ANZ); at most 10000000 can be imported."},
        {"GST 3400\rGSI 30\rANZ 4.5\r", four, "'a.par' gives '4.5' as ANZ, which is not a count."},
        {"GST 3400\rGSI 30\rANZ 4\rJEX time-sweep\r", four, "'a.par' records a 'time-sweep' experiment (JEX), not a field sweep."},
        {"GST 3400\rGSI 30\rANZ 4\rJUN K\r", four, "'a.par' gives the field in 'K' (JUN), not in G or mT."},
        {"GST 3400\rANZ 4\r", four, "'a.par' gives no field axis (GST and GSI, or HCF and HSW)."},
        {"HCF 3400\rANZ 4\r", four, "'a.par' gives no field axis (GST and GSI, or HCF and HSW)."},
        {"GST 3400 G\rGSI thirty\rANZ 4\r", four, "'a.par' gives 'thirty' as GSI, which is not a finite number."},
        {"GST 1e308\rGSI 1e308\rANZ 4\r", four, "'a.par' gives a field axis beyond the range of numbers."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.parameters);
        EXPECT_EQ(errorOf([&] { readEspWinEpr(row.parameters, row.data, kNames); }), row.message);
    }
}

TEST(EspWinEpr, RecognisesParameterFilesByTheirKeys)
{
    const struct {
        std::string text;
        bool parameters;
    } cases[] = {
        {"JSS 0\rGST 3463.000000\rGSI 50.000000\rRES 8192\r", true},
        {"DOS  Format\r\nANZ 4096\r\nMF  9.766096\r\nJCO Fremy salt in glycerol\r\n", true},
        {"SetMWPower  1\nXYUN\nRES 1024\nHCF 3480\nHSW 50\n", true},
        {"GST 3400\rGSI 30\r", false},                             // two keys are not enough
        {"Field [G]\tIntensity\r\n3400\t1\r\n3401\t2\r\n", false}, // a table
        {"RES 1\nMF 9\nGST 3\n1 2\n3 4\n5 6\n7 8\n", false},       // mostly rows of numbers
        {"", false},
    };
    for (const auto& row : cases)
        EXPECT_EQ(looksLikeEspParameters(row.text), row.parameters) << row.text;
}

} // namespace
} // namespace ravelle::formats
