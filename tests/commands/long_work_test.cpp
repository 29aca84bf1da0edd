// Long work through the commands: which work each command hands to its host,
// and that a cancel at any progress report leaves everything as it was.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "io/LastDir.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/CommandTest.h"
#include "tests/support/FakeHost.h"
#include "commands/Commands.h"

namespace ravelle {
namespace {

using testing::CurrentDirectoryGuard;
using testing::FakeHost;
using testing::ScratchDirectory;
using testing::entriesOf;
using testing::readBytes;
using testing::writeBytes;

// A measured-looking spectrum of `lines` points, several read chunks long.
std::string spectrumText(int lines)
{
    std::string text;
    char line[64];
    for (int i = 0; i < lines; ++i) {
        std::snprintf(line, sizeof line, "%.4f %.3f\r\n", 3300.0 + 0.001 * i, (i % 97) * 0.01 - 0.4);
        text += line;
    }
    return text;
}

// Everything a command may change, the remembered folder aside.
struct View {
    std::vector<double> obsField, obsIntensity, calcField, calcIntensity;
    std::string obsFileName;
    double centre, calcCentre, calcScale, frameLow, frameHigh, fieldMin;
    std::map<std::string, std::string, std::less<>> boxes;
    QImage picture;

    View(const ProgramState& s, const FakeHost& h)
        : obsField(s.ObsField), obsIntensity(s.ObsIntensity), calcField(s.CalcField), calcIntensity(s.CalcIntensity),
          obsFileName(s.ObsFileName), centre(s.CenterField), calcCentre(s.CalcCenterField), calcScale(s.CalcScale),
          frameLow(s.FrameFieldLow), frameHigh(s.FrameFieldHigh), fieldMin(s.PlotFieldMin), boxes(h.boxes),
          picture(h.raster)
    {
    }
    bool operator==(const View&) const = default;
};

class LongWorkTest : public testing::CommandTest {
protected:
    LongWorkTest()
    {
        host.setBoxes({{"H1", "1.5"}, {"N1", "10"}, {"G", "30"}});
        calculateCommand(state, host);
        writeBytes(first, spectrumText(300));
        importFile(first);
        EXPECT_TRUE(host.errors.empty());
        host.log.clear();
        host.works.clear();
    }

    ScratchDirectory data;
    std::string first = data.file("first.dat");
};

TEST(CommandWork, EachCommandHandsItsLongPartToTheHost)
{
    CurrentDirectoryGuard cwd;
    ScratchDirectory scratch;
    ProgramState state;
    Initialise(state, scratch.path());
    FakeHost host(state);
    writeBytes(scratch.file("run.dat"), spectrumText(10));

    host.setBoxes({{"H1", "1.5"}});
    calculateCommand(state, host);
    host.openAnswers.push_back(scratch.file("run.dat"));
    importCommand(state, host);
    host.saveAnswers = {scratch.file("run.cal"), scratch.file("run.obs")};
    exportCommand(state, host);
    ASSERT_TRUE(host.errors.empty());

    const struct {
        std::string title;
        WorkShown shown;
    } expected[] = {
        {std::string(messages::kCalculating), WorkShown::Quietly},
        {messages::importing(scratch.file("run.dat")), WorkShown::WithProgress},
        {messages::saving(scratch.file("run.cal")), WorkShown::WithProgress},
        {messages::saving(scratch.file("run.obs")), WorkShown::WithProgress},
    };
    ASSERT_EQ(host.works.size(), std::size(expected));
    for (std::size_t i = 0; i < host.works.size(); ++i) {
        EXPECT_EQ(host.works[i].title, expected[i].title);
        EXPECT_EQ(host.works[i].shown, expected[i].shown) << expected[i].title;
    }
}

TEST_F(LongWorkTest, ACancelledImportChangesNothingButTheRememberedFolder)
{
    const std::string second = data.file("second.dat");
    writeBytes(second, spectrumText(150000)); // some 40 read chunks and a few drawing reports
    const View before(state, host);

    // A run to the end counts the reports; importing the first file again
    // brings everything back.
    host.openAnswers.push_back(second);
    importCommand(state, host);
    ASSERT_TRUE(host.errors.empty());
    EXPECT_EQ(state.ObsCount, 150000);
    const int reports = host.works.at(0).reports;
    ASSERT_GE(reports, 40);
    host.openAnswers.push_back(first);
    importCommand(state, host);
    ASSERT_TRUE(View(state, host) == before);

    for (const int at : {0, 1, reports / 2, reports - 2, reports - 1}) {
        SCOPED_TRACE("cancelled at report " + std::to_string(at) + " of " + std::to_string(reports));
        host.works.clear();
        const int redraws = host.redrawCount;
        host.cancelAtReport = at;
        host.openAnswers.push_back(second);
        importCommand(state, host);
        ASSERT_EQ(host.works.size(), 1u);
        EXPECT_EQ(host.cancelAtReport, -1) << "the cancel was not reached";
        EXPECT_TRUE(host.errors.empty());
        EXPECT_TRUE(View(state, host) == before);
        EXPECT_EQ(host.redrawCount, redraws);
        EXPECT_EQ(state.LastDir, data.path());
    }
}

TEST_F(LongWorkTest, ACancelledCalculateChangesNothing)
{
    host.setBoxes({{"NoPnts", "300000"}}); // the drawing reports a few times
    const View before(state, host);
    host.cancelAtReport = 0;
    calculateCommand(state, host);
    ASSERT_EQ(host.works.size(), 1u);
    EXPECT_EQ(host.cancelAtReport, -1);
    EXPECT_TRUE(host.log.empty());
    // GCntr was read before the work, as in any Calculate that fails later;
    // the spectrum, the window, the boxes and the picture are untouched.
    View expected = before;
    expected.centre = std::stod(host.boxText("GCntr"));
    EXPECT_TRUE(View(state, host) == expected);
}

TEST_F(LongWorkTest, ACancelledSaveLeavesTheFileAsItWasAndEndsTheCommand)
{
    // Long enough tables for their writing to report a few times.
    writeBytes(first, spectrumText(140000));
    host.openAnswers.push_back(first);
    importCommand(state, host);
    host.setBoxes({{"NoPnts", "200000"}});
    calculateCommand(state, host);
    ASSERT_TRUE(host.errors.empty());

    const std::string cal = data.file("out.cal");
    const std::string obs = data.file("out.obs");
    const std::string calDialog = "save: " + data.path() + " | " + data.file("first.cal");
    const std::string obsDialog = "save: " + data.path() + " | " + data.file("first.obs");
    const std::string alsoSaved = "notice: " + std::string(messages::kObservedAlsoSaved);
    const struct {
        const char* what;
        int cancelInWork; // 0: writing the .cal file, 1: writing the .obs file
        std::vector<std::string> log;
        bool calWritten;
    } rows[] = {
        {"cancelled while writing the .cal file", 0, {calDialog}, false},
        {"cancelled while writing the .obs file", 1, {calDialog, alsoSaved, obsDialog}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeBytes(cal, "old cal\r\n");
        writeBytes(obs, "old obs\r\n");
        host.log.clear();
        host.saveAnswers = {cal, obs};
        host.cancelAtReport = 1;
        host.cancelInWork = row.cancelInWork;
        exportCommand(state, host);
        EXPECT_EQ(host.cancelAtReport, -1) << "the cancel was not reached";
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(host.log, row.log);
        EXPECT_EQ(readBytes(cal) == "old cal\r\n", !row.calWritten);
        EXPECT_EQ(readBytes(obs), "old obs\r\n");
        EXPECT_EQ(entriesOf(data.path()), (std::vector<std::string>{"first.dat", "out.cal", "out.obs"}))
            << "no temporary file is left behind";
    }
}

} // namespace
} // namespace ravelle
