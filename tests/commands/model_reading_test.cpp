#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "commands/ModelReading.h"
#include "engine/UserError.h"
#include "engine/model/GValue.h"

namespace ravelle {
namespace {

std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const UserError& error) {
        return error.message();
    }
    return "(no error)";
}

TEST(ModelReadingTest, TheStartUpTextsAreTheDocumentModelWithoutBaselineOrFrequency)
{
    const ModelSettings settings = readModelSettings(ModelTexts{}, '.', 3350.0);
    EXPECT_TRUE(settings.isDocumentModel());
    EXPECT_FALSE(settings.hasBaseline());
    EXPECT_FALSE(settings.frequencyGHz);
}

TEST(ModelReadingTest, WhatMakesAModelGoBeyondTheDocumentsGaussian)
{
    struct Row {
        const char* what;
        std::function<void(ModelTexts&)> change;
        bool documentModel;
    };
    const Row rows[] = {
        {"a baseline", [](ModelTexts& t) { t.offset = "0.1"; t.slope = "-0.01"; }, true},
        {"a frequency", [](ModelTexts& t) { t.frequency = "9.5"; }, true},
        {"a Lorentzian line", [](ModelTexts& t) { t.shape = model::LineShape::Lorentzian; }, false},
        {"a Voigt line", [](ModelTexts& t) { t.shape = model::LineShape::Voigt; }, false},
        {"an extra group", [](ModelTexts& t) { t.groups.push_back({"13C", "6", "3.2", true}); }, false},
        {"a width law", [](ModelTexts& t) { t.groups.push_back({}); t.widthLaw.group = "1"; }, false},
        {"a second species", [](ModelTexts& t) { t.species.push_back({}); }, false},
    };
    for (const Row& row : rows) {
        ModelTexts texts;
        row.change(texts);
        EXPECT_EQ(readModelSettings(texts, '.', 3350.0).isDocumentModel(), row.documentModel) << row.what;
    }
}

TEST(ModelReadingTest, NumbersTakeThePointOrTheSystemsSeparator)
{
    ModelTexts texts;
    texts.shape = model::LineShape::Voigt;
    texts.gamma = "0,25";
    texts.offset = "-0.125";
    texts.slope = "1E-3";
    texts.groups.push_back({"14N", "2", "6,9", false});
    const ModelSettings settings = readModelSettings(texts, ',', 3350.0);
    EXPECT_EQ(settings.first.gamma, 0.25);
    EXPECT_EQ(settings.baselineOffset, -0.125);
    EXPECT_EQ(settings.baselineSlope, 0.001);
    ASSERT_EQ(settings.first.groups.size(), 1u);
    EXPECT_EQ(settings.first.groups[0].count, 2);
    EXPECT_EQ(settings.first.groups[0].coupling, 6.9);
}

TEST(ModelReadingTest, AGValueShiftIsTheDistanceOfItsFieldFromTheCentre)
{
    ModelTexts texts;
    texts.frequency = "9.5";
    SpeciesTexts second;
    second.shift = "2.0050";
    second.shiftIsGValue = true;
    texts.species.push_back(second);
    const double centre = 3385.0;
    const ModelSettings settings = readModelSettings(texts, '.', centre);
    ASSERT_EQ(settings.further.size(), 1u);
    EXPECT_NEAR(settings.further[0].shift, model::fieldOfGValue(2.005, 9.5) - centre, 1e-9);
    // 714.4773 G per GHz (CODATA 2018): g 2.0023 at 9.5 GHz lies near 3390 G.
    EXPECT_NEAR(model::fieldOfGValue(2.0023, 9.5), 3389.869, 0.001);
    EXPECT_NEAR(model::gValueAt(model::fieldOfGValue(2.0023, 9.5), 9.5), 2.0023, 1e-12);
}

TEST(ModelReadingTest, EveryFieldNamesItselfWhenItHoldsNoNumber)
{
    struct Row {
        std::function<void(ModelTexts&)> change;
        const char* message;
    };
    const Row rows[] = {
        {[](ModelTexts& t) { t.shape = model::LineShape::Lorentzian; t.gamma = "0.1x"; },
         "Gamma: '0.1x' is not a number."},
        {[](ModelTexts& t) { t.offset = ""; }, "Baseline offset: '' is not a number."},
        {[](ModelTexts& t) { t.slope = "1.0.0"; }, "Baseline slope: '1.0.0' is not a number."},
        {[](ModelTexts& t) { t.frequency = "nine"; }, "Microwave frequency: 'nine' is not a number."},
        {[](ModelTexts& t) { t.frequency = "-9.5"; }, "Microwave frequency: it must be a number of GHz greater than 0."},
        {[](ModelTexts& t) { t.groups.push_back({"1H", "2.5", "1", false}); },
         "Species 1, group 1, number of nuclei: '2.5' is not a whole number."},
        {[](ModelTexts& t) { t.groups.push_back({"1H", "2", "a", false}); },
         "Species 1, group 1, coupling: 'a' is not a number."},
        {[](ModelTexts& t) { t.species.push_back({}); t.species[0].weight = "w"; },
         "Species 2, weight: 'w' is not a number."},
        {[](ModelTexts& t) { t.species.push_back({}); t.species[0].shiftIsGValue = true; },
         "Species 2, a centre shift given as a g-value needs the microwave frequency: type it into the Model window."},
        {[](ModelTexts& t) { t.species.push_back({}); t.species[0].widthLaw.group = "one"; },
         "Species 2, width group: 'one' is not a whole number."},
    };
    for (const Row& row : rows) {
        ModelTexts texts;
        row.change(texts);
        EXPECT_EQ(messageOf([&] { readModelSettings(texts, '.', 3350.0); }), row.message);
    }
}

TEST(ModelReadingTest, TheModelPutsTheBoxesBeforeTheExtraGroupsOfSpeciesOne)
{
    ModelTexts texts;
    texts.shape = model::LineShape::Voigt;
    texts.gamma = "0.3";
    texts.groups.push_back({"13C", "6", "2.8", true});
    texts.widthLaw.group = "1";
    texts.species.push_back({});
    const ModelSettings settings = readModelSettings(texts, '.', 3350.0);
    const model::Model built = buildModel(settings, {5.0, 1.5}, {10.0}, 0.2);
    ASSERT_EQ(built.species.size(), 2u);
    const model::Species& first = built.species[0];
    ASSERT_EQ(first.groups.size(), 4u);
    EXPECT_EQ(first.groups[0].isotope, "1H");
    EXPECT_EQ(first.groups[2].isotope, "14N");
    EXPECT_EQ(first.groups[3].isotope, "13C");
    EXPECT_EQ(first.widthGroup, 3);
    EXPECT_EQ(first.sigma, 0.2);
    EXPECT_EQ(first.gamma, 0.3);
}

} // namespace
} // namespace ravelle
