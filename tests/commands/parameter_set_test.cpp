// Parameter sets through the two commands: saved and opened again byte for
// byte, and every broken file refused with its line and nothing changed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/Commands.h"
#include "commands/ParameterSet.h"
#include "engine/Boxes.h"
#include "engine/Messages.h"
#include "io/LastDir.h"
#include "io/ParameterFile.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/CommandTest.h"
#include "tests/support/FakeHost.h"

namespace ravelle {
namespace {

using testing::FakeHost;
using testing::ScratchDirectory;
using testing::fileExists;
using testing::readBytes;
using testing::writeBytes;

// A Model window with something in every field, awkward texts among them.
ModelTexts awkwardModel()
{
    ModelTexts model;
    model.shape = model::LineShape::Voigt;
    model.gamma = " 0,05 ";
    model.groups = {{"13C", "2", "-10.5", true}, {"14N", "1", "\\x41", false}};
    model.widthLaw = {"2", "0.01", "-0.002", "", "1e-3"};
    model.offset = "-0.1";
    model.slope = "[End]";
    model.frequency = "9.766096";
    SpeciesTexts second;
    second.groups = {{"1H", "4", "3.08", false}};
    second.weight = "0.5";
    second.shift = "2.0036";
    second.shiftIsGValue = true;
    second.shape = model::LineShape::Lorentzian;
    second.sigma = "";
    second.gamma = "0.2";
    second.widthLaw.group = "1";
    SpeciesTexts third; // no groups of its own
    third.weight = "= 1";
    model.species = {second, third};
    return model;
}

class ParameterSetTest : public testing::CommandTest {
protected:
    void save(const std::string& fileName)
    {
        host.saveAnswers.push_back(fileName);
        saveParametersCommand(state, host);
    }
    void open(const std::string& fileName)
    {
        host.openAnswers.push_back(fileName);
        openParametersCommand(state, host);
    }
    // The file a set of every kind of text gives.
    std::string savedText()
    {
        ParameterSet set = currentParameterSet(host);
        set.model = awkwardModel();
        return parameters::formatDocument(documentOf(set));
    }

    ScratchDirectory files;
};

TEST_F(ParameterSetTest, SaveThenOpenGivesBackEveryTextByteForByte)
{
    const std::string longest(kMaxParameterTextLength - 2, '7');
    host.setBoxes({{"GCntr", "3400.00"}, {"Scl", ""}, {"H1", " 1.5 "}, {"H2", "a\tb\\c"},
                   {"H3", std::string("\x01\x7F\xFF\xC3", 4)}, {"H4", "日本 µ"}, {"N1", "#1"}, {"N2", ";2"},
                   {"G", "[Main window]"}, {"Sigma", longest + "日"}, {"NoPnts", "x = y"}});
    host.model = awkwardModel();
    const ParameterSet saved = currentParameterSet(host);
    save(files.file("set.ravelle"));
    ASSERT_EQ(host.errors, std::vector<std::string>{});

    FakeHost other(state);
    other.openAnswers.push_back(files.file("set.ravelle"));
    const ProgramState before = state;
    openParametersCommand(state, other);
    ASSERT_EQ(other.errors, std::vector<std::string>{});
    EXPECT_TRUE(currentParameterSet(other) == saved);
    // Nothing else: no Calculate, no picture, the state as it was but the
    // remembered folder.
    EXPECT_EQ(other.redrawCount, 0);
    EXPECT_EQ(state.CalcValid, before.CalcValid);
    EXPECT_EQ(state.CenterField, before.CenterField);
    EXPECT_EQ(state.ObsFileName, before.ObsFileName);
    EXPECT_EQ(other.works.size(), 0u);
}

TEST_F(ParameterSetTest, TheDialogsSuggestANameBesideTheSpectrumAndRememberTheFolder)
{
    host.saveAnswers = {std::nullopt};
    saveParametersCommand(state, host);
    ASSERT_EQ(host.saveCalls.size(), 1u);
    EXPECT_EQ(host.saveCalls[0].fileName, "parameters.ravelle");
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(testing::entriesOf(start.path()), std::vector<std::string>{});

    state.ObsFileName = files.file("run1.dat");
    save(files.file("run1.ravelle"));
    EXPECT_EQ(host.saveCalls[1].fileName, files.file("run1.ravelle"));
    EXPECT_EQ(state.LastDir, files.path());
    EXPECT_EQ(readBytes(dirinfPath(state)), files.path() + "\r\n");

    open(files.file("run1.ravelle"));
    ASSERT_EQ(host.openCalls.size(), 1u);
    EXPECT_EQ(host.openCalls[0].initialDir, files.path());
    EXPECT_EQ(host.openCalls[0].fileName, "*.ravelle");
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(ParameterSetTest, ABrokenFileIsRefusedWithItsLineAndChangesNothing)
{
    const std::string good = savedText();
    const auto replaced = [&](const std::string& what, const std::string& with) {
        std::string text = good;
        const std::size_t at = text.find(what);
        EXPECT_NE(at, std::string::npos) << what;
        return text.replace(at, what.size(), with);
    };
    const auto lineOf = [&](const std::string& text, const std::string& what) {
        return std::to_string(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.find(what)), '\n') + 1);
    };
    const std::string long100k(100'000, '1');
    std::string manySpecies = good.substr(0, good.rfind("[End]"));
    for (int s = 4; s <= 9; ++s)
        manySpecies += "[Species " + std::to_string(s) + "]\r\n" +
                       good.substr(good.find("weight = "), good.find("[Species 2, group 1]") - good.find("weight = "));
    manySpecies += "[End]\r\n";
    std::string manyGroups = good.substr(0, good.find("[Species 2]"));
    for (int k = 3; k <= 65; ++k)
        manyGroups += "[Species 1, group " + std::to_string(k) + "]\r\nisotope = 1H\r\nnuclei = 1\r\ncoupling = 0\r\n"
                      "natural abundance = no\r\n";
    manyGroups += "[End]\r\n";
    const std::string notOne = messages::parameterSetNotOne("broken.ravelle");
    const auto at = [](const std::string& line, const std::string& problem) {
        return messages::parameterSetLine("broken.ravelle", std::stoul(line), problem);
    };

    const struct {
        const char* what;
        std::string text;
        std::string message;
    } cases[] = {
        {"cut short", good.substr(0, good.size() / 2), messages::parameterSetCutShort("broken.ravelle")},
        {"a spectrum", "3400.00 1.5\r\n3401.00 1.4\r\n", notOne},
        {"a newer version", replaced("version = 1", "version = 2"), messages::parameterSetNewer("broken.ravelle", "2")},
        {"an unknown isotope", replaced("isotope = 13C", "isotope = 13X"),
         at(lineOf(good, "isotope = 13C"), messages::parameterUnknownIsotope("13X"))},
        {"a box text of 100,000 characters", replaced("GCntr = GCntr", "GCntr = " + long100k),
         at(lineOf(good, "GCntr = "), messages::parameterTextTooLong("Main window", "GCntr", 100'000, 32'767))},
        {"a Model window text too long", replaced("Gamma B = ", "Gamma B = " + long100k),
         at(lineOf(good, "Gamma B = "), messages::parameterTextTooLong("Model window", "Gamma B", 100'000, 32'767))},
        {"an entry missing", replaced("H7 = H7\r\n", ""), at(lineOf(good, "[Main window]"), messages::parameterMissingEntry("Main window", "H7"))},
        {"an entry unknown", replaced("H7 = H7", "H16 = H16"), at(lineOf(good, "H7 = "), messages::parameterUnknownEntry("Main window", "H16"))},
        {"an entry twice", replaced("H7 = H7", "H6 = H7"), at(lineOf(good, "H7 = "), messages::parameterRepeatedEntry("Main window", "H6"))},
        {"a line shape", replaced("line shape = Voigt", "line shape = voigt"),
         at(lineOf(good, "line shape = Voigt"), messages::parameterBadLineShape("voigt"))},
        {"a yes or no", replaced("natural abundance = yes", "natural abundance = true"),
         at(lineOf(good, "natural abundance = yes"), messages::parameterBadFlag("true"))},
        {"a group out of order", replaced("[Species 1, group 2]", "[Species 1, group 3]"),
         at(lineOf(good, "[Species 1, group 2]"),
            messages::parameterSectionOutOfOrder("Species 1, group 3", "Species 1, group 1", "Species 1, group 2",
                                                 "Species 2"))},
        {"the sections swapped", replaced("[Main window]", "[Model window]"),
         at(lineOf(good, "[Main window]"), messages::parameterSectionMustComeFirst("Model window", "Main window"))},
        {"no sections", "[Ravelle2 parameter set]\r\nversion = 1\r\n[End]\r\n",
         messages::parameterSetMissingSection("broken.ravelle", "Main window")},
        {"too many species", manySpecies,
         at(lineOf(manySpecies, "[Species 9]"), messages::parameterTooManySpecies(8))},
        {"too many groups", manyGroups,
         at(lineOf(manyGroups, "[Species 1, group 65]"), messages::parameterTooManyGroups("Species 1", 64))},
    };

    host.setBoxes({{"H1", "1.5"}, {"G", "40"}});
    host.model.frequency = "9.5";
    const auto boxes = host.boxes;
    const ModelTexts model = host.model;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        writeBytes(files.file("broken.ravelle"), row.text);
        host.errors.clear();
        open(files.file("broken.ravelle"));
        EXPECT_EQ(host.errors, std::vector<std::string>{row.message});
        EXPECT_EQ(host.boxes, boxes);
        EXPECT_TRUE(host.model == model);
    }
    // The good file itself opens.
    writeBytes(files.file("good.ravelle"), good);
    host.errors.clear();
    open(files.file("good.ravelle"));
    EXPECT_EQ(host.errors, std::vector<std::string>{});
    EXPECT_TRUE(host.model == awkwardModel());
}

TEST_F(ParameterSetTest, ASetThatCouldNotBeOpenedAgainIsNotSaved)
{
    const auto notSaved = [](const std::string& problem) { return messages::parameterSetNotSaved(problem); };
    ModelTexts unknownIsotope;
    unknownIsotope.species.resize(1);
    unknownIsotope.species[0].groups = {{"2D", "1", "0.5", false}};
    ModelTexts manySpecies;
    manySpecies.species.resize(8);
    std::string emoji; // 16,384 characters beyond the first 65,536 of Unicode
    for (int k = 0; k < 16'384; ++k)
        emoji += "\xF0\x9F\x98\x80";
    const struct {
        const char* what;
        std::map<std::string, std::string> boxes;
        ModelTexts model;
        std::string message;
    } cases[] = {
        {"a box text too long", {{"H1", std::string(100'000, '1')}}, {},
         notSaved(messages::parameterTextTooLong("Main window", "H1", 100'000, 32'767))},
        {"four-byte characters count twice", {{"N2", emoji}}, {},
         notSaved(messages::parameterTextTooLong("Main window", "N2", 32'768, 32'767))},
        {"an unknown isotope", {}, unknownIsotope, notSaved(messages::parameterUnknownIsotope("2D"))},
        {"too many species", {}, manySpecies, notSaved(messages::parameterTooManySpecies(8))},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        FakeHost local(state);
        local.setBoxes(row.boxes);
        local.model = row.model;
        local.saveAnswers.push_back(files.file("refused.ravelle"));
        saveParametersCommand(state, local);
        EXPECT_EQ(local.errors, std::vector<std::string>{row.message});
        EXPECT_TRUE(local.saveCalls.empty()); // refused before the dialog
        EXPECT_FALSE(fileExists(files.file("refused.ravelle")));
    }
}

TEST_F(ParameterSetTest, AFailedSaveSaysWhyAndLeavesWhatWasThere)
{
    const std::string folder = files.subdirectory("folder.ravelle");
    writeBytes(folder + "/inside", "kept");
    const struct {
        std::string target;
        std::string message;
    } cases[] = {
        {folder, std::string(messages::kAccessDenied)},
        {files.file("missing/set.ravelle"), std::string(messages::kFileNotFound)},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.target);
        host.errors.clear();
        save(row.target);
        EXPECT_EQ(host.errors, std::vector<std::string>{row.message});
    }
    EXPECT_EQ(testing::entriesOf(files.path()), std::vector<std::string>{"folder.ravelle"});
    EXPECT_EQ(testing::entriesOf(folder), std::vector<std::string>{"inside"});
}

TEST(ParameterSetLayout, KnowsEveryFieldOfTheModelWindow)
{
    // A field added to the Model window's texts must be saved and opened
    // in parameter sets too (the bindings in commands/ParameterSet.cpp);
    // then this size goes up with it.
    EXPECT_EQ(sizeof(ModelTexts), 344u);
    EXPECT_EQ(sizeof(SpeciesTexts), 320u);
    EXPECT_EQ(sizeof(GroupTexts), 104u);
    EXPECT_EQ(sizeof(WidthLawTexts), 160u);
}

} // namespace
} // namespace ravelle
