#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/model/Evaluation.h"
#include "tests/engine/model/ModelReference.h"

namespace ravelle::model {
namespace {

using namespace testing;

struct Case {
    std::string name;
    Model model;
    double start, step;
    std::size_t count;
    // Whether the rounding part of the bound stays within 1e-9 of the height:
    // not where the fields see only the far tails of the lines.
    bool boundWithinGoal = true;
};

Model one(Species s) { return Model{{std::move(s)}}; }

Species withWidthLaw(Species s, int group, WidthLaw sigmaLaw, WidthLaw gammaLaw)
{
    s.widthGroup = group;
    s.sigmaLaw = sigmaLaw;
    s.gammaLaw = gammaLaw;
    return s;
}

std::vector<Case> cases()
{
    const std::vector<NucleusGroup> nitroxide{group("14N", 1, 15.6), group("1H", 12, 0.4)};
    const std::vector<NucleusGroup> mixed{group("1H", 2, 5.1), group("1H", 1, 1.7), group("14N", 1, 3.3),
                                          group("13C", 4, 2.8, true)};
    return {
        {"gaussian narrow", one(species(mixed, LineShape::Gaussian, 0.01, 0)), -15, 0.06, 501},
        {"gaussian wide", one(species(mixed, LineShape::Gaussian, 5, 0)), -40, 0.16, 501},
        {"lorentzian narrow", one(species(mixed, LineShape::Lorentzian, 0, 0.01)), -15, 0.6, 51},
        {"lorentzian 5000", one(species(mixed, LineShape::Lorentzian, 0, 0.12)), -15, 0.006, 5001},
        {"lorentzian wide", one(species(mixed, LineShape::Lorentzian, 0, 5)), -30, 0.12, 501},
        {"voigt", one(species(mixed, LineShape::Voigt, 0.08, 0.05)), -15, 0.06, 501},
        {"voigt wide", one(species(mixed, LineShape::Voigt, 2, 3)), -15, 0.3, 101},
        {"lines far outside", one(species(mixed, LineShape::Lorentzian, 0, 0.3, 1.0, 60)), -5, 0.02, 501, false},
        {"negative sigma", one(species(mixed, LineShape::Gaussian, -0.2, 0)), -15, 0.06, 501},
        {"several species",
         Model{{species(mixed, LineShape::Lorentzian, 0, 0.2, 1.0, -1.5),
                species(nitroxide, LineShape::Gaussian, 0.3, 0, 0.5, 2.0),
                species({group("63Cu", 1, 6.0, true)}, LineShape::Voigt, 0.4, 0.3, 2.0, 0.0)}},
         -30, 0.1, 601},
        {"m_I widths",
         one(withWidthLaw(species(nitroxide, LineShape::Voigt, 0.3, 0.2), 0, {0.05, 0.04}, {-0.08, 0.1})),
         -25, 0.1, 501},
        {"m_I lorentzian", one(withWidthLaw(species(nitroxide, LineShape::Lorentzian, 0, 0.5), 0, {}, {0.2, 0.1})),
         -25, 0.05, 1001},
    };
}

TEST(ModelAccuracyTest, FourierSumMatchesEveryLineSummed)
{
    for (const Case& c : cases()) {
        const std::vector<double> fields = gridFields(c.start, c.step, c.count);
        const std::vector<long double> reference = referenceSum(c.model, fields);
        const auto [low, high] = std::minmax_element(reference.begin(), reference.end());
        const long double height = *high - *low;
        const ModelValues values = evaluateModel(c.model, UniformGrid{c.start, c.step, static_cast<std::int64_t>(c.count)});
        ASSERT_EQ(values.value.size(), fields.size()) << c.name;
        long double worst = 0.0L;
        for (std::size_t i = 0; i < fields.size(); ++i)
            worst = std::max(worst, std::fabs(values.value[i] - reference[i]));
        EXPECT_LE(worst, 1e-9L * height) << c.name << ": worst " << static_cast<double>(worst / height);
        if (c.boundWithinGoal)
            EXPECT_LE(values.errorBound, 1e-9 * static_cast<double>(height)) << c.name;
        EXPECT_GE(values.errorBound, static_cast<double>(worst)) << c.name;
    }
}

} // namespace
} // namespace ravelle::model
