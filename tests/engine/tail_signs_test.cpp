// The saved table of the fast synthesis against that of the literal method:
// far from the lines the sums are tiny and only their signs show, as
// "-0.00000" or "0.00000".
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FastSynthesis.h"
#include "engine/ProgramState.h"
#include "engine/Synthesis.h"
#include "io/SpectrumExport.h"
#include "tests/support/EngineTesting.h"

namespace ravelle {
namespace {

using testing::makeInput;
using testing::methodName;

std::vector<std::string> calLines(const SimulatedSpectrum& spectrum, double centre, double scale)
{
    ProgramState state;
    // The table is written with the centre and scale the trace was drawn with.
    state.CalcCenterField = centre;
    state.CalcScale = scale;
    publishSpectrum(state, SimulatedSpectrum(spectrum));
    std::istringstream table(calTable(state));
    std::vector<std::string> lines;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The exact sum of the literal method's stored terms at x, compensated in
// extended precision, and the sum of their magnitudes.
struct ExactSum {
    long double value = 0.0L;
    long double magnitude = 0.0L;
};

ExactSum exactSum(const SynthesisInput& input, const std::vector<double>& lines, double x)
{
    const LineShape shape(input.sigma);
    long double total = 0.0L, compensation = 0.0L, magnitude = 0.0L;
    for (const double line : lines) {
        const long double term = static_cast<double>(shape.term(x, line));
        const long double next = total + term;
        compensation += std::fabs(total) >= std::fabs(term) ? (total - next) + term : (term - next) + total;
        total = next;
        magnitude += std::fabs(term);
    }
    return {total + compensation, magnitude};
}

int signOf(long double value)
{
    return (value > 0) - (value < 0);
}

struct Row {
    const char* what;
    SynthesisInput input;
    double centre = 0.0;
    double scale = 1.0;
};

// Every line of the fast method's table is the literal method's, except
// where the literal sum is only its own rounding: there it may print "0.00000"
// for "-0.00000" or back, and the fast sum has the sign of the exact sum.
// Returns the lines that break this rule, with what is wrong with them.
std::vector<std::string> linesUnlikeTheLiteral(const Row& row, const SimulatedSpectrum& fast,
                                               const SimulatedSpectrum& literal)
{
    const auto expected = calLines(literal, row.centre, row.scale);
    const auto actual = calLines(fast, row.centre, row.scale);
    if (actual.size() != expected.size())
        return {"the tables differ in length"};
    const std::vector<double> lines = buildLineList(row.input.couplingH, row.input.couplingN);
    std::vector<std::string> wrong;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual[i] == expected[i])
            continue;
        const ExactSum exact = exactSum(row.input, lines, literal.field[i]);
        const long double literalRaw = literal.intensity[i] * (literal.rawHigh - literal.rawLow) / 2;
        const long double rounding = exact.magnitude * static_cast<long double>(lines.size()) * 2.3e-16L;
        const char* fault = nullptr;
        if (std::fabs(exact.value) > rounding || std::fabs(literalRaw - exact.value) > rounding)
            fault = "the literal sum is more than its rounding";
        else if (exact.value != 0 && literal.field[i] != 0.0 && signOf(fast.intensity[i]) != signOf(exact.value))
            fault = "the sign is not that of the exact sum";
        if (fault != nullptr)
            wrong.push_back("point " + std::to_string(i) + " \"" + actual[i] + "\" for \"" + expected[i] + "\": " + fault);
    }
    return wrong;
}

bool closeTo(const SimulatedSpectrum& spectrum, const SimulatedSpectrum& literal)
{
    for (std::size_t i = 0; i < literal.intensity.size(); ++i)
        if (std::fabs(spectrum.intensity[i] - literal.intensity[i]) > 1e-10)
            return false;
    return true;
}

TEST(TailSignsTest, SavedTablesMatchTheLiteralMethodFarFromTheLines)
{
    const std::vector<double> tenProtons{0.31, 0.77, 1.13, 1.59, 1.94, 2.41, 2.87, 3.23, 3.69, 4.05};
    const Row rows[] = {
        {"one hydrogen, start-up values", makeInput(30.0, 0.1, 500, {1.5})},
        {"200 points", makeInput(30.0, 0.1, 200, {1.5})},
        {"negative display range", makeInput(-30.0, 0.1, 500, {1.5})},
        {"negative sigma", makeInput(30.0, -0.1, 500, {1.5})},
        {"negative scale: the low-field tail shows", makeInput(30.0, 0.1, 500, {1.5}), 0.0, -1.0},
        {"centre field and scale", makeInput(30.0, 0.1, 500, {1.5}), 3400.0, 2.5},
        {"hydrogen and nitrogen", makeInput(30.0, 0.1, 500, {1.5}, {2.3})},
        {"nitrogens only", makeInput(40.0, 0.2, 500, {}, {2.3, 4.1})},
        {"well separated lines", makeInput(30.0, 0.1, 500, {12.0})},
        {"lines beyond the display range", makeInput(30.0, 0.1, 500, {32.0})},
        {"a fine grid", makeInput(30.0, 0.1, 5000, {1.5}, {0.7})},
        {"equivalent protons, grid points on the lines", makeInput(30.0, 0.1, 500, {4.95, 4.95, 4.95, 4.95, 1.83,
                                                                                    1.83, 1.83, 1.83})},
        // The middle line's tail cancels the upper line's exactly halfway,
        // where the literal sum loses the far line's term and says 0.
        {"halfway between two lines", makeInput(30.0, 0.255, 500, {}, {5.04})},
        // Many small constants: thousands of lines crowd the spectrum's ends.
        {"crowded ends", makeInput(1.0549813246804216, -0.0097039661427553939, 238,
                                   {0.002403846153846154, 0.002403846153846154, -0.0072115384615384619, 0.0,
                                    -0.002403846153846154, 0.0, 0.002403846153846154, 0.0, 0.0,
                                    -0.0072115384615384619, -0.0072115384615384619, -0.004807692307692308, 0.0},
                                   {0.015625})},
        {"many lines", makeInput(60.0, 0.1, 500, tenProtons, {0.71, 1.43})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const SimulatedSpectrum literal = synthesizeLiteral(row.input);
        for (const auto method : {SummationMethod::Automatic, SummationMethod::MergedLines, SummationMethod::Fourier,
                                  SummationMethod::FourierSeries}) {
            if (method == SummationMethod::FourierSeries && row.input.points > 1000)
                continue;
            // Each method as it comes, where it can vouch for this spectrum.
            const auto fast = synthesizeFastWith(row.input, method);
            if (!fast || !closeTo(fast->spectrum, literal))
                continue;
            const auto wrong = linesUnlikeTheLiteral(row, fast->spectrum, literal);
            EXPECT_TRUE(wrong.empty()) << methodName(fast->method) << ": " << wrong.size() << " lines, first "
                                       << wrong.front();
        }
    }
}

TEST(TailSignsTest, TheStartUpSpectrumSavesItsHighFieldTailAsNegative)
{
    // H1 = 1.5 alone: lines at -0.75 and +0.75. Above the upper line every
    // term is negative until, some 3.9 G away, its stored value is 0.
    const SimulatedSpectrum spectrum = synthesize(makeInput(30.0, 0.1, 500, {1.5}));
    const auto lines = calLines(spectrum, 0.0, 1.0);
    struct Expected {
        std::size_t point;
        const char* line;
    };
    const Expected rows[] = {
        {280, "   1.80      -0.00000"},
        {300, "   3.00      -0.00000"},
        {325, "   4.50      -0.00000"},
        {333, "   4.98       0.00000"},
        {500, "  15.00       0.00000"},
        {220, "  -1.80       0.00000"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(lines[row.point], row.line) << row.point;
}

} // namespace
} // namespace ravelle
