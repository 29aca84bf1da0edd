// Hostile input through the commands as the user meets them: each row shows
// its message (or its result), loses nothing, and the next command works.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "io/FileAccess.h"
#include "io/ObservedImport.h"
#include "tests/io/ScratchDirectory.h"
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
using Boxes = std::map<std::string, std::string>;

const Boxes kGoodBoxes{{"GCntr", "3400"}, {"Scl", "1"}, {"NoPnts", "500"}, {"G", "30"},
                       {"Sigma", "0.1"},  {"H1", "1.5"}, {"H2", "H2"},      {"N1", "N1"}};
const std::string kGoodObservedFile = "3390 1\r\n3400 -1\r\n3410 0.5\r\n";

std::string error(std::string_view message)
{
    return "error: " + std::string(message);
}

// A host whose open and save dialogs can change the file system after the
// user has chosen, before the command reads or writes.
class Host : public FakeHost {
public:
    using FakeHost::FakeHost;
    std::function<void()> afterDialog;

    std::optional<std::string> runOpenDialog(const std::string& initialDir, const std::string& fileName) override
    {
        auto chosen = FakeHost::runOpenDialog(initialDir, fileName);
        if (afterDialog)
            afterDialog();
        return chosen;
    }
    std::optional<std::string> runSaveDialog(const std::string& initialDir, const std::string& fileName) override
    {
        auto chosen = FakeHost::runSaveDialog(initialDir, fileName);
        if (afterDialog)
            afterDialog();
        return chosen;
    }
};

// Everything a failed command must leave as it was, apart from the
// parameters that Calculate stores as it reads them.
struct Kept {
    std::string obsFileName;
    std::int32_t obsCount, calcSpectrumPoints;
    std::vector<double> obsField, obsIntensity, calcField, calcIntensity;
    double obsEnds[2], frame[4], window[4];
    std::map<std::string, std::string, std::less<>> boxes;

    explicit Kept(const FakeHost& host)
        : obsFileName(host.state.ObsFileName), obsCount(host.state.ObsCount),
          calcSpectrumPoints(host.state.CalcSpectrumPoints), obsField(host.state.ObsField),
          obsIntensity(host.state.ObsIntensity), calcField(host.state.CalcField),
          calcIntensity(host.state.CalcIntensity), obsEnds{host.state.ObsEndLow, host.state.ObsEndHigh},
          frame{host.state.FrameFieldLow, host.state.FrameFieldHigh, host.state.FrameIntLow, host.state.FrameIntHigh},
          window{host.state.PlotFieldMin, host.state.PlotFieldMax, host.state.PlotIntMin, host.state.PlotIntMax},
          boxes(host.boxes)
    {
    }
    bool operator==(const Kept&) const = default;
};

class BadInput : public ::testing::Test {
protected:
    BadInput() : host(state) { Initialise(state, start.path()); }

    void calculateGood()
    {
        host.setBoxes(kGoodBoxes);
        host.log.clear();
        calculateCommand(state, host);
        ASSERT_TRUE(host.log.empty()) << host.log.front();
    }
    void importGood()
    {
        writeBytes(start.file("good.dat"), kGoodObservedFile);
        host.afterDialog = nullptr;
        host.openAnswers = {start.file("good.dat")};
        host.log.clear();
        importCommand(state, host);
        ASSERT_EQ(host.log.size(), 1u); // the dialog only
        EXPECT_EQ(state.ObsCount, 3);
    }

    CurrentDirectoryGuard cwd;
    ScratchDirectory start;
    ProgramState state;
    Host host;
};

TEST_F(BadInput, CalculateRefusesWhatItCannotComputeAndKeepsTheLastSpectrum)
{
    const std::string millionDigits = std::string(999'999, '0').insert(0, 1, '1');
    const std::string pointCount(messages::kPointCountOutOfRange);
    const std::string invalid(messages::kInvalidOperation);
    const std::string overflow(messages::kOverflow);
    struct Row {
        const char* what;
        Boxes boxes;
        std::string log; // empty: the spectrum is calculated
    };
    const Row rows[] = {
        {"NoPnts at the 32-bit limit", {{"NoPnts", "2147483647"}}, error(pointCount)},
        {"NoPnts -1", {{"NoPnts", "-1"}}, error(pointCount)},
        {"NoPnts -11", {{"NoPnts", "-11"}}, error(pointCount)},
        {"NoPnts in hexadecimal at the limit", {{"NoPnts", "$7FFFFFFF"}}, error(pointCount)},
        {"NoPnts one beyond the largest", {{"NoPnts", "1000001"}}, error(pointCount)},
        {"NoPnts 0", {{"NoPnts", "0"}}, error(messages::kDivisionByZero)},
        {"NoPnts in hexadecimal", {{"NoPnts", " 0x10"}}, ""},
        {"NoPnts the largest", {{"NoPnts", "1000000"}}, ""},
        {"NoPnts with a million digits", {{"NoPnts", millionDigits}}, error(messages::notAnInteger(millionDigits))},
        {"G at the top of the double range: every point sums to zero", {{"G", "1e308"}}, error(invalid)},
        {"G beyond a double", {{"G", "1e400"}}, error(overflow)},
        {"G minus zero: no grid", {{"G", "-0"}}, error(invalid)},
        {"G with a million digits", {{"G", millionDigits}}, error(messages::notAReal(millionDigits))},
        {"Sigma below the normal range: every term underflows", {{"Sigma", "1e-320"}}, error(invalid)},
        {"Sigma 1e-160: every term underflows", {{"Sigma", "1e-160"}}, error(invalid)},
        {"a coupling of 1e308: the lines fall far outside", {{"H1", "1e308"}}, error(invalid)},
        {"a coupling of -1e308", {{"H1", "-1e308"}}, error(invalid)},
        {"lines beyond a double", {{"H1", "1e308"}, {"H2", "1e308"}, {"N1", "-1e308"}}, error(overflow)},
        {"GCntr so large the window has no width", {{"GCntr", "1.7976931348623157e308"}}, error(invalid)},
        {"a NUL byte", {{"H1", std::string("1\0" "5", 3)}}, error(messages::notAReal(std::string("1\0" "5", 3)))},
        {"invalid UTF-8", {{"H1", "1.5\xFF"}}, error(messages::notAReal("1.5\xFF"))},
        {"a right-to-left mark", {{"Sigma", "\xE2\x80\x8F" "0.1"}}, error(messages::notAReal("\xE2\x80\x8F" "0.1"))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(calculateGood());
        host.setBoxes(row.boxes);
        const Kept before(host);
        const int redraws = host.redrawCount;
        host.log.clear();
        calculateCommand(state, host);

        if (row.log.empty()) {
            EXPECT_TRUE(host.log.empty()) << host.log.front();
            EXPECT_EQ(host.boxText("NoPnts"), std::to_string(state.CalcSpectrumPoints));
        } else {
            EXPECT_EQ(host.log, std::vector<std::string>{row.log});
            EXPECT_EQ(host.redrawCount, redraws);
            EXPECT_TRUE(Kept(host) == before) << "the last spectrum, the plot window or a box changed";
            for (const std::string& line : host.log)
                EXPECT_LT(line.size(), 200u);
        }
        // The program is still usable.
        ASSERT_NO_FATAL_FAILURE(calculateGood());
        EXPECT_EQ(state.CalcSpectrumPoints, 500);
    }
}

TEST_F(BadInput, AStepOnAHostileTextEndsAtItsBoxOrAtTheCalculation)
{
    const std::string millionDigits(1'000'000, '7');
    struct Row {
        const char* what;
        std::string box, text;
        std::string shown; // the box afterwards; empty: the refused step leaves everything alone
        std::string log;   // after the step and its Calculate; empty: no message
    };
    const Row rows[] = {
        {"a million digits", "G", millionDigits, "", error(messages::notAReal(millionDigits))},
        {"a NUL byte", "Sigma", std::string("0\0" "1", 3), "", error(messages::notAReal(std::string("0\0" "1", 3)))},
        {"invalid UTF-8", "GCntr", "\xC0\x80", "", error(messages::notAReal("\xC0\x80"))},
        // The sum fits extended precision but not the double Calculate stores.
        {"the top of extended precision", "G", "1.1e4932", "1.1E4932", error(messages::kOverflow)},
        {"below the double range", "GCntr", "1e-320", "0.10", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(calculateGood());
        host.setBoxText(row.box, row.text);
        const Kept before(host);
        host.log.clear();
        if (stepBox(host, row.box, row.box == "G" ? 10.0L : 0.1L))
            calculateCommand(state, host);

        EXPECT_EQ(host.log, row.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.log});
        if (row.shown.empty())
            EXPECT_TRUE(Kept(host) == before) << "a refused step changed something";
        else
            EXPECT_EQ(host.boxText(row.box), row.shown);
        ASSERT_NO_FATAL_FAILURE(calculateGood());
    }
}

TEST_F(BadInput, AFailedImportChangesNothingAndTheNextImportWorks)
{
    const std::string chosen = start.file("spectrum.dat");
    const std::string dirinf = start.file("dirinf");
    struct Row {
        const char* what;
        std::function<void()> beforeDialog, afterDialog;
        std::string log; // after the dialog; empty: imported
    };
    const auto spectrum = [&](std::string bytes) { return [&chosen, bytes] { writeBytes(chosen, bytes); }; };
    const auto nothing = [] {};
    const Row rows[] = {
        {"deleted between the dialog and the reading", spectrum(kGoodObservedFile),
         [&] { std::filesystem::remove(chosen); }, error(messages::kFileNotFound)},
        {"replaced by a directory", spectrum(kGoodObservedFile),
         [&] {
             std::filesystem::remove(chosen);
             std::filesystem::create_directory(chosen);
         },
         error(messages::kAccessDenied)},
        {"replaced by a FIFO", spectrum(kGoodObservedFile),
         [&] {
             std::filesystem::remove(chosen);
             ::mkfifo(chosen.c_str(), 0644);
         },
         error(messages::notARegularFile(chosen))},
        {"emptied", spectrum(kGoodObservedFile), [&] { writeBytes(chosen, ""); }, error(messages::kEmptyObservedFile)},
        {"overwritten with junk", spectrum(kGoodObservedFile), [&] { writeBytes(chosen, "\x7F" "ELF\x02\x01\n"); },
         error(messages::notAReal(""))},
        {"grown by a line", spectrum(kGoodObservedFile), spectrum(kGoodObservedFile + "3420 0\r\n"), ""},
        {"a line of a million digits",
         spectrum(std::string(1'000'000, '5') + " 1\r\n" + kGoodObservedFile), nothing,
         error(messages::notAReal(std::string(1'000'000, '5')))},
        {"an endless device chosen", [&] { std::filesystem::create_symlink("/dev/zero", chosen); }, nothing,
         error(messages::notARegularFile(chosen))},
        {"dirinf holding binary junk",
         [&] {
             spectrum(kGoodObservedFile)();
             writeBytes(dirinf, std::string("\0\xFF\x80junk\r\n", 9));
         },
         nothing, ""},
        {"dirinf holding a 10 MB line",
         [&] {
             spectrum(kGoodObservedFile)();
             writeBytes(dirinf, std::string(10 << 20, '/'));
         },
         nothing, ""},
        {"dirinf naming a directory that is gone",
         [&] {
             spectrum(kGoodObservedFile)();
             writeBytes(dirinf, start.file("gone") + "\r\n");
         },
         nothing, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(importGood());
        ASSERT_NO_FATAL_FAILURE(calculateGood());
        std::filesystem::remove_all(chosen);
        row.beforeDialog();
        const Kept before(host);
        host.afterDialog = row.afterDialog;
        host.openAnswers = {chosen};
        host.log.clear();
        importCommand(state, host);
        host.afterDialog = nullptr;

        ASSERT_FALSE(host.log.empty());
        const std::vector<std::string> shown(host.log.begin() + 1, host.log.end()); // after the dialog
        if (row.log.empty()) {
            EXPECT_TRUE(shown.empty()) << shown.front();
            EXPECT_EQ(state.ObsFileName, chosen);
            EXPECT_EQ(readBytes(dirinf), start.path() + "\r\n"); // repaired
        } else {
            EXPECT_EQ(shown, std::vector<std::string>{row.log});
            EXPECT_TRUE(Kept(host) == before) << "the failed import changed the spectrum, the plot or a box";
        }
        std::filesystem::remove_all(chosen);
        ASSERT_NO_FATAL_FAILURE(importGood());
    }
}

// The simulated spectrum as one .cal file with 501 lines.
class BadExport : public BadInput {
protected:
    // Runs the export with the .cal dialog answered by `target`.
    std::vector<std::string> exportTo(const std::string& target)
    {
        host.saveAnswers = {target};
        host.log.clear();
        exportCommand(state, host);
        host.afterDialog = nullptr;
        return std::vector<std::string>(host.log.begin() + 1, host.log.end()); // after the dialog
    }
    static std::size_t lineCount(const std::string& bytes) { return std::count(bytes.begin(), bytes.end(), '\n'); }
};

TEST_F(BadExport, AFailedSaveLeavesNoHalfFileAndTheNextSaveWorks)
{
    ASSERT_NO_FATAL_FAILURE(calculateGood());
    const std::string earlier = "an earlier table\r\n";
    const std::string folder = start.subdirectory("out");
    const std::string target = folder + "/run1.cal";
    struct Row {
        const char* what;
        std::string target;
        std::function<void()> prepare, afterDialog, undo;
        std::string log;
    };
    const auto nothing = [] {};
    rlimit savedLimit{};
    ::getrlimit(RLIMIT_FSIZE, &savedLimit);
    const Row rows[] = {
        {"a full disk device", "/dev/full", nothing, nothing, nothing, error(messages::notARegularFile("/dev/full"))},
        {"over a directory", folder, nothing, nothing, nothing, error(messages::kAccessDenied)},
        {"into a directory deleted after the dialog", start.file("gone/run1.cal"),
         [&] { start.subdirectory("gone"); }, [&] { std::filesystem::remove_all(start.file("gone")); }, nothing,
         error(messages::kFileNotFound)},
        {"a name too long", folder + "/" + std::string(300, 'n'), nothing, nothing, nothing,
         error(messages::kInvalidFileName)},
        // The file-size limit fails the write part way, as a full disk does.
        {"the disk full part way", target,
         [&] {
             ::signal(SIGXFSZ, SIG_IGN);
             rlimit small = savedLimit;
             small.rlim_cur = 4096;
             ::setrlimit(RLIMIT_FSIZE, &small);
         },
         nothing,
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &savedLimit);
             ::signal(SIGXFSZ, SIG_DFL);
         },
         error(messages::ioError(EFBIG))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        writeBytes(target, earlier);
        row.prepare();
        host.afterDialog = row.afterDialog;
        const std::vector<std::string> shown = exportTo(row.target);
        row.undo();
        EXPECT_EQ(shown, std::vector<std::string>{row.log});
        EXPECT_EQ(readBytes(target), earlier);
        EXPECT_EQ(entriesOf(folder), std::vector<std::string>{"run1.cal"}) << "no temporary file is left";

        const std::vector<std::string> next = exportTo(target);
        EXPECT_TRUE(next.empty()) << next.front();
        EXPECT_EQ(lineCount(readBytes(target)), 501u);
    }
}

// Whether a new file cannot be created in `folder` by this process.
bool refusesNewFiles(const std::string& folder)
{
    const std::string probe = folder + "/.ravelle-probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
        return false;
    }
    return errno == EACCES || errno == EROFS || errno == EPERM;
}

TEST_F(BadExport, AFolderThatTakesNoFilesIsAccessDenied)
{
    ASSERT_NO_FATAL_FAILURE(calculateGood());
    // Permissions do not stop root; sysfs takes no new files even from root.
    std::string folder = "/sys";
    const bool root = testing::runningAsRoot();
    if (!root) {
        folder = start.subdirectory("locked");
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    }
    if (!refusesNewFiles(folder))
        GTEST_SKIP() << "no folder here refuses new files";
    const std::vector<std::string> shown = exportTo(folder + "/run1.cal");
    if (!root)
        ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(shown, std::vector<std::string>{error(messages::kAccessDenied)});
    EXPECT_FALSE(testing::fileExists(folder + "/run1.cal"));

    const std::vector<std::string> next = exportTo(start.file("run1.cal"));
    EXPECT_TRUE(next.empty()) << next.front();
    EXPECT_EQ(lineCount(readBytes(start.file("run1.cal"))), 501u);
}

} // namespace
} // namespace ravelle
