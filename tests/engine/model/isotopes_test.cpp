#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "engine/model/Isotopes.h"

namespace ravelle::model {
namespace {

TEST(IsotopesTest, SpinsOfTheMagneticNuclei)
{
    const std::map<std::string, int> twiceSpin = {
        {"1H", 1},   {"2H", 2},   {"6Li", 2},   {"7Li", 3},   {"10B", 6},   {"11B", 3},   {"13C", 1},
        {"14N", 2},  {"15N", 1},  {"17O", 5},   {"19F", 1},   {"23Na", 3},  {"27Al", 5},  {"29Si", 1},
        {"31P", 1},  {"33S", 3},  {"35Cl", 3},  {"37Cl", 3},  {"39K", 3},   {"51V", 7},   {"55Mn", 5},
        {"63Cu", 3}, {"65Cu", 3}, {"79Br", 3},  {"81Br", 3},  {"117Sn", 1}, {"119Sn", 1}, {"195Pt", 1},
        {"12C", 0},  {"16O", 0},  {"28Si", 0},  {"32S", 0},   {"116Sn", 0},
    };
    for (const auto& [name, spin] : twiceSpin) {
        const Isotope* isotope = findIsotope(name);
        ASSERT_NE(isotope, nullptr) << name;
        EXPECT_EQ(isotope->twiceSpin, spin) << name;
        EXPECT_EQ(isotope->magneticMoment == 0.0, spin == 0) << name;
    }
    EXPECT_EQ(findIsotope("13c"), nullptr);
    EXPECT_EQ(findIsotope(""), nullptr);
    EXPECT_EQ(findIsotope("H"), nullptr);
}

TEST(IsotopesTest, EachElementsAbundancesAddUpToOne)
{
    std::map<std::string, double> sums;
    for (const Isotope& isotope : isotopeTable()) {
        EXPECT_GT(isotope.abundance, 0.0) << isotope.name;
        sums[std::string(isotope.element)] += isotope.abundance;
        const auto element = isotopesOfElement(isotope);
        EXPECT_NE(std::find_if(element.begin(), element.end(), [&](const Isotope& i) { return &i == &isotope; }),
                  element.end());
    }
    for (const auto& [element, sum] : sums)
        EXPECT_NEAR(sum, 1.0, 1e-4) << element;
    EXPECT_EQ(isotopesOfElement(*findIsotope("119Sn")).size(), 10u);
    EXPECT_EQ(isotopesOfElement(*findIsotope("19F")).size(), 1u);
}

TEST(IsotopesTest, GFactorsScaleCouplingsBetweenIsotopes)
{
    // The ratios of the g-factors that relate the couplings of isotopes in one position.
    EXPECT_NEAR(findIsotope("65Cu")->gFactor() / findIsotope("63Cu")->gFactor(), 1.0712, 1e-4);
    EXPECT_NEAR(findIsotope("2H")->gFactor() / findIsotope("1H")->gFactor(), 0.15351, 1e-5);
    EXPECT_NEAR(findIsotope("15N")->gFactor() / findIsotope("14N")->gFactor(), -1.4028, 1e-4);
    EXPECT_NEAR(findIsotope("81Br")->gFactor() / findIsotope("79Br")->gFactor(), 1.0779, 1e-4);
    EXPECT_EQ(findIsotope("12C")->gFactor(), 0.0);
}

} // namespace
} // namespace ravelle::model
