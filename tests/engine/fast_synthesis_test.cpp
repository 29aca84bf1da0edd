#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/FastMath.h"
#include "engine/FastSynthesis.h"
#include "engine/HyperfineLines.h"
#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "tests/support/EngineTesting.h"

namespace ravelle {
namespace {

using testing::makeInput;
using testing::methodName;

// The outcome of a synthesis: its spectrum, or the message it failed with.
struct Outcome {
    std::optional<SimulatedSpectrum> spectrum;
    std::string message;
};

Outcome outcomeOf(const std::function<SimulatedSpectrum()>& run)
{
    try {
        return {run(), ""};
    } catch (const UserError& error) {
        return {std::nullopt, error.message()};
    }
}

// The literal method with nothing rounded but the stored line positions: every
// term and every sum in extended precision. Normalised like the program.
struct Reference {
    std::vector<long double> intensity;
    long double rawLow = 0, rawHigh = 0;
};

Reference extendedReference(const SynthesisInput& input, const std::vector<double>& field)
{
    const auto lines = buildLineList(input.couplingH, input.couplingN);
    const long double s = input.sigma;
    const long double norm = std::sqrt(6.2831852L * s * s);
    Reference reference;
    for (const double x : field) {
        long double total = 0;
        for (const double x0 : lines) {
            const long double d = static_cast<long double>(x) - x0;
            total += std::exp(-d * d / 2 / s / s) * (static_cast<long double>(x0) - x) / norm / s / s;
        }
        reference.intensity.push_back(total);
    }
    const auto [low, high] = std::minmax_element(reference.intensity.begin(), reference.intensity.end());
    reference.rawLow = *low;
    reference.rawHigh = *high;
    const long double span = *high - *low;
    for (long double& value : reference.intensity)
        value = 2 * value / span;
    return reference;
}

// The accuracy the program promises against that reference.
double tolerance(double sigma)
{
    return std::max(1e-12, 2e-15 / std::fabs(sigma));
}

// Random but reproducible parameters: constants with zeros, negatives and
// exact repeats, lines inside, across and far outside the grid, and few
// enough lines times points for the literal method to finish quickly.
SynthesisInput randomInput(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto logUniform = [&](double low, double high) { return low * std::pow(high / low, unit(random)); };
    SynthesisInput input;
    input.points = static_cast<std::int32_t>(std::lround(logUniform(1.0, 5000.0)));
    input.sigma = logUniform(0.002, 20.0) * (unit(random) < 0.1 ? -1.0 : 1.0);
    input.displayRange = unit(random) < 0.15 ? -logUniform(1.0, 200.0) : logUniform(1.0, 2000.0);
    const double placement = unit(random); // inside, across or far outside the grid
    const double spread = std::fabs(input.displayRange)
                          * (placement < 0.45 ? logUniform(0.01, 0.3) : placement < 0.85 ? logUniform(0.3, 1.5)
                                                                                         : logUniform(2.0, 20.0));
    const bool dyadic = unit(random) < 0.2; // sums without rounding
    const double budget = 2e5 / (input.points + 1.0);
    std::uniform_int_distribution<int> hydrogenCount(0, 8), nitrogenCount(0, 4);
    int hydrogens = hydrogenCount(random), nitrogens = nitrogenCount(random);
    while (std::pow(2.0, hydrogens) * std::pow(3.0, nitrogens) > std::min(budget, 4096.0))
        (hydrogens > nitrogens ? hydrogens : nitrogens) -= 1;
    std::vector<double> drawn;
    const auto constant = [&] {
        const double pick = unit(random);
        double value = 0.0;
        if (pick < 0.12)
            value = 0.0;
        else if (pick < 0.35 && !drawn.empty())
            value = drawn[random() % drawn.size()] * (unit(random) < 0.3 ? -1.0 : 1.0);
        else
            value = spread * unit(random) * (unit(random) < 0.3 ? -1.0 : 1.0);
        if (dyadic)
            value = std::ldexp(std::round(std::ldexp(value, 6)), -6);
        drawn.push_back(value);
        return value;
    };
    for (int k = 0; k < hydrogens; ++k)
        input.couplingH.push_back(2.0 * constant() / std::max(1, hydrogens));
    for (int k = 0; k < nitrogens; ++k)
        input.couplingN.push_back(constant() / std::max(1, nitrogens));
    return input;
}

std::string describe(const SynthesisInput& input)
{
    std::string text = "G " + std::to_string(input.displayRange) + " s " + std::to_string(input.sigma) + " N "
                       + std::to_string(input.points) + " H";
    char buffer[32];
    for (const double a : input.couplingH) {
        std::snprintf(buffer, sizeof buffer, " %.17g", a);
        text += buffer;
    }
    text += " N";
    for (const double b : input.couplingN) {
        std::snprintf(buffer, sizeof buffer, " %.17g", b);
        text += buffer;
    }
    return text;
}

// The largest difference of a spectrum from the extended reference.
double worstDeviation(const SimulatedSpectrum& spectrum, const Reference& reference)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < reference.intensity.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::fabs(spectrum.intensity[i] - reference.intensity[i])));
    return worst;
}

// Compares a spectrum with the literal one: the same grid, every point
// within `allowed` of the extended reference, the raw extremes close.
void expectCloseToReference(const SimulatedSpectrum& spectrum, const SimulatedSpectrum& literal,
                            const Reference& reference, double allowed)
{
    ASSERT_EQ(spectrum.field, literal.field);
    EXPECT_EQ(spectrum.frameFieldLow, literal.frameFieldLow);
    EXPECT_EQ(spectrum.frameFieldHigh, literal.frameFieldHigh);
    ASSERT_EQ(spectrum.intensity.size(), reference.intensity.size());
    EXPECT_LE(worstDeviation(spectrum, reference), allowed);
    const double span = literal.rawHigh - literal.rawLow;
    EXPECT_NEAR(spectrum.rawHigh, literal.rawHigh, 2 * allowed * span);
    EXPECT_NEAR(spectrum.rawLow, literal.rawLow, 2 * allowed * span);
}

void expectIdentical(const SimulatedSpectrum& spectrum, const SimulatedSpectrum& literal)
{
    EXPECT_EQ(spectrum.field, literal.field);
    EXPECT_EQ(spectrum.intensity, literal.intensity);
    EXPECT_EQ(spectrum.rawHigh, literal.rawHigh);
    EXPECT_EQ(spectrum.rawLow, literal.rawLow);
}

TEST(FastSynthesisTest, RandomSpectraMatchTheLiteralMethod)
{
    std::mt19937_64 random(20240611);
    std::map<SummationMethod, int> used;
    int failures = 0;
    for (int run = 0; run < 320; ++run) {
        const SynthesisInput input = randomInput(random);
        SCOPED_TRACE(describe(input));
        const Outcome literal = outcomeOf([&] { return synthesizeLiteral(input); });
        std::optional<FastSpectrum> fast;
        const Outcome program = outcomeOf([&] {
            fast = synthesizeFastWith(input, SummationMethod::Automatic);
            return fast ? fast->spectrum : synthesizeLiteral(input);
        });
        ASSERT_TRUE(fast || !program.message.empty()) << "no fast result for a valid input";
        if (!literal.spectrum) {
            ++failures;
            EXPECT_EQ(program.message, literal.message);
            continue;
        }
        ASSERT_TRUE(program.spectrum) << program.message;
        ++used[fast->method];
        SCOPED_TRACE(methodName(fast->method));
        // Where only the literal order can tell (sums that cancel down to
        // their rounding), the literal result is reproduced to the bit.
        if (fast->method == SummationMethod::ListOrder) {
            expectIdentical(*program.spectrum, *literal.spectrum);
        } else {
            expectCloseToReference(*program.spectrum, *literal.spectrum,
                                   extendedReference(input, literal.spectrum->field), tolerance(input.sigma));
        }
    }
    // The set reaches every method and the failures.
    EXPECT_GT(used[SummationMethod::MergedLines], 50);
    EXPECT_GT(used[SummationMethod::Fourier], 10);
    EXPECT_GT(used[SummationMethod::ListOrder], 0);
    EXPECT_GT(failures, 5);
}

TEST(FastSynthesisTest, EachMethodAloneMatchesTheLiteralMethod)
{
    std::mt19937_64 random(77);
    int compared = 0;
    for (int run = 0; run < 150; ++run) {
        SynthesisInput input = randomInput(random);
        SCOPED_TRACE(describe(input));
        const Outcome literal = outcomeOf([&] { return synthesizeLiteral(input); });
        if (!literal.spectrum)
            continue;
        // The list order is the literal method's own arithmetic: equal to the bit.
        const auto listOrder = synthesizeFastWith(input, SummationMethod::ListOrder);
        ASSERT_TRUE(listOrder);
        expectIdentical(listOrder->spectrum, *literal.spectrum);

        // The others, taken as they come without the checks that replace a
        // doubtful result, are held to the extended reference where the
        // literal result is: not where its sums cancel down to their
        // rounding, nor where only terms from beyond ten sigma remain.
        const auto reference = extendedReference(input, literal.spectrum->field);
        const double allowed = tolerance(input.sigma);
        const long double span = reference.rawHigh - reference.rawLow;
        const double linePeak = 0.97 / (std::sqrt(6.2831852) * input.sigma * input.sigma);
        if (worstDeviation(*literal.spectrum, reference) > allowed
            || std::fabs(literal.spectrum->rawHigh - reference.rawHigh) > 1e-10 * span
            || std::fabs(literal.spectrum->rawLow - reference.rawLow) > 1e-10 * span || span < 1e-12 * linePeak)
            continue;
        ++compared;
        const Outcome merged = outcomeOf([&] {
            return synthesizeFastWith(input, SummationMethod::MergedLines).value().spectrum;
        });
        ASSERT_TRUE(merged.spectrum) << merged.message;
        expectCloseToReference(*merged.spectrum, *literal.spectrum, reference, allowed);

        // The transform sums exact multiples of the constants, the literal
        // method their stored roundings: allow for that drift.
        std::optional<FastSpectrum> fourier;
        fourier = synthesizeFastWith(input, SummationMethod::Fourier);
        const double drift = HyperfineLines(input.couplingH, input.couplingN).roundingDrift();
        if (fourier) {
            expectCloseToReference(fourier->spectrum, *literal.spectrum, reference,
                                   allowed + 4.0 * drift / std::fabs(input.sigma));
        }
        if (input.points <= 1000) {
            const auto series = synthesizeFastWith(input, SummationMethod::FourierSeries);
            ASSERT_TRUE(series);
            expectCloseToReference(series->spectrum, *literal.spectrum, reference,
                                   allowed + 4.0 * drift / std::fabs(input.sigma));
        }
    }
    EXPECT_GT(compared, 80);
}

TEST(FastSynthesisTest, FailuresCarryTheLiteralMessages)
{
    struct Row {
        const char* what;
        SynthesisInput input;
        std::string_view message;
    };
    const Row rows[] = {
        {"no intervals", makeInput(30.0, 0.1, 0, {2.0}), messages::kDivisionByZero},
        {"no intervals, no range", makeInput(0.0, 0.1, 0, {2.0}), messages::kInvalidOperation},
        {"sigma 0", makeInput(30.0, 0.0, 500, {2.0}), messages::kDivisionByZero},
        {"sigma 0, first point on the first line", makeInput(2.0, 0.0, 1, {2.0}), messages::kInvalidOperation},
        {"negative sigma 0", makeInput(30.0, -0.0, 7, {}, {1.0}), messages::kDivisionByZero},
        {"lines far outside: every term 0", makeInput(30.0, 0.1, 500, {1e6}), messages::kInvalidOperation},
        {"many lines far outside", makeInput(30.0, 0.1, 500, {1000.0, 3.0, 5.0, 7.0, 11.0, 13.0}),
         messages::kInvalidOperation},
        {"sigma so wide every term underflows", makeInput(30.0, 1e300, 50, {2.0}), messages::kInvalidOperation},
        // A zero range puts every point at 0: one sum, repeated. With lines
        // on both sides it is what rounding leaves of their cancelling terms.
        {"a zero range, one line", makeInput(0.0, 0.1, 40), messages::kInvalidOperation},
        {"a zero range, cancelling lines", makeInput(0.0, 0.1, 40, {2.0, 3.0}, {1.0}), messages::kDivisionByZero},
        {"only the centre reached, where the lines cancel", makeInput(1000.0, 0.1, 2, {}, {1.0}),
         messages::kInvalidOperation},
        {"too steep", makeInput(2e-200, 1e-200, 2), messages::kOverflow},
        // The pair of 0.7 cancels exactly and leaves lines 1e-160 from the
        // middle point, one sigma: far beyond a double.
        {"too steep, many lines", makeInput(30.0, 1e-160, 30, {0.7, 0.7, 2e-160}, {1.5, 1.5}), messages::kOverflow},
        {"line beyond a double before the grid", makeInput(30.0, 0.1, 0, {DBL_MAX, DBL_MAX, DBL_MAX}),
         messages::kOverflow},
        {"nitrogen beyond a double", makeInput(30.0, 0.1, 500, {}, {DBL_MAX, DBL_MAX}), messages::kOverflow},
        {"negative count", makeInput(30.0, 0.1, -1, {2.0}), messages::kPointCountOutOfRange},
        {"count too large", makeInput(30.0, 0.1, kMaxCalcPoints + 1, {2.0}), messages::kPointCountOutOfRange},
        {"not a number", makeInput(30.0, std::nan(""), 500, {2.0}), messages::kInvalidOperation},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Outcome literal = outcomeOf([&] { return synthesizeLiteral(row.input); });
        ASSERT_EQ(literal.message, row.message);
        EXPECT_EQ(outcomeOf([&] { return synthesize(row.input); }).message, row.message);
    }
}

TEST(FastSynthesisTest, TermsNearTheUnderflowEdgeDecideAsTheLiteralMethod)
{
    // Two lines at +-d from the outer points of a 3-point grid, the middle
    // point far from both: the sum is +-term(d) there and 0 in the middle.
    // Around 38-39 sigma the stored term goes from tiny to exactly 0, and the
    // outcome from a spectrum to a flat sum.
    for (const double sigma : {0.01, 1.0, 3e-7}) {
        for (double u = 37.5; u <= 40.0; u += 0.0625) {
            const SynthesisInput input = makeInput(2.0, sigma, 2, {2.0 * (1.0 + u * sigma)});
            SCOPED_TRACE(std::to_string(sigma) + " at " + std::to_string(u) + " sigma");
            const Outcome literal = outcomeOf([&] { return synthesizeLiteral(input); });
            const Outcome fast = outcomeOf([&] { return synthesize(input); });
            ASSERT_EQ(fast.message, literal.message);
            if (literal.spectrum) {
                for (std::size_t i = 0; i < 3; ++i)
                    EXPECT_NEAR(fast.spectrum->intensity[i], literal.spectrum->intensity[i], 1e-12);
            }
        }
    }
}

TEST(FastSynthesisTest, TinyRangesDecideAsTheLiteralMethod)
{
    // Points far closer together than any line's rounding: the sums are the
    // rounding of cancelling terms, and the outcome (a spectrum or a flat
    // sum) is the literal method's to the bit, with or without a line at 0.
    for (const double range : {1e-300, 1e-30, 1e-12, 1e-6}) {
        for (const auto& [couplingH, couplingN] :
             {std::pair<std::vector<double>, std::vector<double>>{{2.0, 3.0}, {1.0}}, {{2.0, 3.1, 0.9}, {}},
              {{0.3, 0.7, 1.1, 1.9, 2.3}, {0.5, 1.5}}}) {
            const SynthesisInput input = makeInput(range, 0.1, 30, couplingH, couplingN);
            SCOPED_TRACE(describe(input));
            const Outcome literal = outcomeOf([&] { return synthesizeLiteral(input); });
            for (const auto method : {SummationMethod::Automatic, SummationMethod::ListOrder}) {
                std::optional<FastSpectrum> fast;
                const Outcome outcome = outcomeOf([&] {
                    fast = synthesizeFastWith(input, method);
                    return fast.value().spectrum;
                });
                ASSERT_EQ(outcome.message, literal.message);
                if (literal.spectrum && (method == SummationMethod::ListOrder
                                         || fast->method == SummationMethod::ListOrder))
                    expectIdentical(*outcome.spectrum, *literal.spectrum);
            }
        }
    }
}

TEST(FastSynthesisTest, TheLargestCasesNeedNoLiteralRun)
{
    // Ten decimals, so that no two of the lines coincide.
    const std::vector<double> hydrogens{0.3137593417, 0.7718243615, 1.1342718904, 1.5861492733, 1.9437021648,
                                        2.4128873109, 2.8703319457, 3.2261188342, 3.6949416271, 4.0518839736,
                                        4.5190462853, 4.9346103928, 5.3684271139, 5.7139558206, 6.0972635418};
    const std::vector<double> nitrogens{0.7061943215, 1.4327718846, 2.2130548827,
                                        3.0482299617, 3.8719062434, 4.8935470152};
    ASSERT_EQ(mergeLines(HyperfineLines(hydrogens, {}), -100, 100, 1 << 20)->position.size(), 32768u);
    const SynthesisInput cases[] = {
        makeInput(30.0, 0.1, 500, {4.95, 4.95, 4.95, 4.95, 1.83, 1.83, 1.83, 1.83}),
        makeInput(60.0, 0.05, 500, hydrogens),
        makeInput(120.0, 0.1, 500, hydrogens, nitrogens),
        makeInput(120.0, 0.1, 5000, hydrogens, nitrogens),
        makeInput(2000.0, 0.02, 500, hydrogens, nitrogens),
        // A range far below sigma: no transform fits the lines' extent in
        // steps of 2e-9 G, and the list order would take minutes.
        makeInput(1e-6, 0.1, 500, hydrogens, nitrogens),
    };
    for (const auto& input : cases) {
        SCOPED_TRACE(describe(input));
        const auto fast = synthesizeFast(input);
        ASSERT_TRUE(fast);
        // Antisymmetric, scaled to a peak-to-peak height of 2.
        const auto& intensity = fast->intensity;
        const auto [low, high] = std::minmax_element(intensity.begin(), intensity.end());
        EXPECT_NEAR(*high - *low, 2.0, 1e-15);
        for (std::size_t i = 0; i < intensity.size(); ++i)
            ASSERT_NEAR(intensity[i], -intensity[intensity.size() - 1 - i], 1e-11) << i;
    }
    // With every line distinct the transform and the merged lines agree.
    const SynthesisInput distinct = makeInput(120.0, 0.1, 500, {hydrogens.begin(), hydrogens.begin() + 12},
                                              {nitrogens.begin(), nitrogens.begin() + 3});
    const auto fourier = synthesizeFastWith(distinct, SummationMethod::Fourier);
    const auto merged = synthesizeFastWith(distinct, SummationMethod::MergedLines);
    ASSERT_TRUE(fourier && merged);
    for (std::size_t i = 0; i < merged->spectrum.intensity.size(); ++i)
        ASSERT_NEAR(fourier->spectrum.intensity[i], merged->spectrum.intensity[i], 1e-12) << i;
}

TEST(FastSynthesisTest, LeavesTheStatusFlagsAsItFoundThem)
{
    const SynthesisInput inputs[] = {
        makeInput(30.0, 0.1, 500, {2.0}), makeInput(0.0, 0.1, 40, {2.0}), makeInput(30.0, 0.1, 0, {2.0}),
        makeInput(30.0, 1e-200, 20, {2.0}), makeInput(60.0, 0.05, 500, {0.31, 0.77, 1.13, 1.58, 1.94, 2.41})};
    for (const auto& input : inputs) {
        std::feclearexcept(FE_ALL_EXCEPT);
        outcomeOf([&] { return synthesizeFast(input).value_or(SimulatedSpectrum{}); });
        EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW), 0) << describe(input);
    }
}

TEST(HyperfineLinesTest, DescribesTheListWithoutListingIt)
{
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int run = 0; run < 60; ++run) {
        std::vector<double> couplingH, couplingN;
        const int hydrogens = static_cast<int>(random() % 9), nitrogens = static_cast<int>(random() % 5);
        for (int k = 0; k < hydrogens; ++k)
            couplingH.push_back(k > 0 && unit(random) < 0.3 ? couplingH[0] : (unit(random) - 0.3) * 40.0);
        for (int k = 0; k < nitrogens; ++k)
            couplingN.push_back(unit(random) < 0.2 ? 0.0 : (unit(random) - 0.3) * 20.0);
        const HyperfineLines lines(couplingH, couplingN);
        const auto list = buildLineList(couplingH, couplingN);

        EXPECT_EQ(lines.lineCount(), static_cast<double>(list.size()));
        EXPECT_EQ(lines.firstLine(), list.front());
        EXPECT_EQ(lines.extent(), *std::max_element(list.begin(), list.end()));
        long double drift = 0;
        for (std::size_t j = 0; j < list.size(); ++j) {
            long double exact = 0; // the digits of line j, the last nucleus least significant
            std::size_t rest = j;
            for (std::size_t k = lines.stages().size(); k-- > 0;) {
                const auto& stage = lines.stages()[k];
                const std::size_t digits = stage.nitrogen ? 3 : 2;
                const auto digit = static_cast<long double>(rest % digits);
                exact += (stage.nitrogen ? digit - 1 : 2 * digit - 1) * stage.offset;
                rest /= digits;
            }
            drift = std::max(drift, std::fabs(list[j] - exact));
        }
        EXPECT_LE(drift, lines.roundingDrift());

        // The lines within a window, in list order and merged by position.
        const double low = (unit(random) - 0.7) * 30.0, high = low + unit(random) * 20.0;
        std::vector<double> inside;
        std::map<double, double> counted;
        for (const double line : list) {
            if (line >= low && line <= high) {
                inside.push_back(line);
                ++counted[line];
            }
        }
        std::vector<double> visited;
        visitLinesWithin(lines, low, high, [&](double line) { visited.push_back(line); });
        EXPECT_EQ(visited, inside);
        const auto merged = mergeLines(lines, low, high, list.size());
        ASSERT_TRUE(merged);
        std::map<double, double> kept;
        for (std::size_t j = 0; j < merged->position.size(); ++j)
            if (merged->position[j] >= low && merged->position[j] <= high)
                kept[merged->position[j]] = merged->weight[j];
        EXPECT_EQ(kept, counted);
        EXPECT_TRUE(std::is_sorted(merged->position.begin(), merged->position.end()));
    }
    EXPECT_TRUE(HyperfineLines({DBL_MAX, DBL_MAX, DBL_MAX}, {}).overflows());
    EXPECT_FALSE(HyperfineLines({DBL_MAX, DBL_MAX}, {}).overflows());
    EXPECT_EQ(HyperfineLines({1.5, 0.25}, {0.125}).roundingDrift(), 0.0); // dyadic sums are exact
    EXPECT_FALSE(mergeLines(HyperfineLines({0.31, 0.77, 1.13, 1.58, 1.94, 2.41}, {}), -100, 100, 32));
}

TEST(FastMathTest, ExpOfNonPositiveArgumentsWithinTwoUnitsInTheLastPlace)
{
    std::mt19937_64 random(3);
    std::vector<double> x{0.0, -0.0, -1e-300, -0.3465735902799726, -0.34657359027997264, -708.0, -1.0, -745.0 / 2};
    std::uniform_real_distribution<double> wide(-708.0, 0.0), narrow(-2.0, 0.0);
    for (int i = 0; i < 20000; ++i)
        x.push_back(i % 2 ? wide(random) : narrow(random));
    std::vector<double> y(x.size());
    expNonPositive(x.data(), y.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const long double exact = std::exp(static_cast<long double>(x[i]));
        const double ulp = std::nextafter(static_cast<double>(exact), INFINITY) - static_cast<double>(exact);
        ASSERT_LE(static_cast<double>(std::fabs(y[i] - exact)), 2.0 * ulp) << x[i];
    }
}

} // namespace
} // namespace ravelle
