#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/FileAccess.h"
#include "io/SpectrumExport.h"
#include "tests/io/ScratchDirectory.h"

namespace ravelle {
namespace {

using testing::ScratchDirectory;
using testing::entriesOf;
using testing::readBytes;
using testing::writeBytes;

TEST(FormatTableNumber, RightAlignsRoundsTheExactValueAndNeverCuts)
{
    const struct {
        double value;
        int width, decimals;
        const char* text;
    } cases[] = {
        {3385.2, 7, 2, "3385.20"},
        {-0.25, 8, 5, "-0.25000"},
        {1.0, 8, 5, " 1.00000"},
        {0.0, 7, 2, "   0.00"},
        {-0.0, 7, 2, "   0.00"},
        {10000.0, 7, 2, "10000.00"},
        {-1000.0, 7, 2, "-1000.00"},
        {12.5, 8, 5, "12.50000"},
        {100.0, 8, 5, "100.00000"},
        {-10.0, 8, 5, "-10.00000"},
        {1e20, 7, 2, "100000000000000000000.00"},
        // A negative value keeps its sign when it rounds to zero.
        {-0.000001, 8, 5, "-0.00000"},
        {-0.004, 7, 2, "  -0.00"},
        // Exact halves go away from zero ...
        {0.125, 7, 2, "   0.13"},
        {-0.125, 7, 2, "  -0.13"},
        {3349.125, 7, 2, "3349.13"},
        {0.015625, 8, 5, " 0.01563"},
        // ... while decimals that are not exact in binary follow the binary value.
        {1.005, 7, 2, "   1.00"},
        {2.675, 7, 2, "   2.67"},
        {0.000005, 8, 5, " 0.00001"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(formatTableNumber(row.value, row.width, row.decimals), row.text) << row.value;
}

// The suggestion stays in the imported file's folder and is never hidden.
TEST(SuggestedBaseName, DropsTheExtensionInTheFileName)
{
    const struct {
        const char* obsFileName;
        const char* base;
    } cases[] = {
        {"NONE", ""}, // nothing imported: the dialogs suggest ".cal" and ".obs"
        {"/data/run1.dat", "/data/run1"},
        {"/data/run1.DAT", "/data/run1"},
        {"/data/run.2024.dat", "/data/run.2024"},
        {"/data/スペクトル.dat", "/data/スペクトル"},
        {"/d/ab.データ", "/d/ab"}, // three characters, not bytes
        {"/data/run/x.d", "/data/run/x"},
        {"/data/spectrum.txt.gz", "/data/spectrum.txt"},
        {"/data/x.", "/data/x"},
        {"/data/nitroxide", "/data/nitroxide"},
        {"/data/data", "/data/data"},
        {"/d/データ", "/d/データ"},
        {"/data/.dat", "/data/dat"},
        {"/data/.hidden.dat", "/data/hidden"},
        {"/data/..x", "/data/x"},
        {"/data/...", "/data/spectrum"},
        {"/run1.dat", "/run1"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(suggestedBaseName(row.obsFileName), row.base) << row.obsFileName;
}

ProgramState simulated(std::vector<double> fields, std::vector<double> intensities, double center, double scale)
{
    ProgramState state;
    state.CalcValid = true;
    state.CalcSpectrumPoints = static_cast<std::int32_t>(fields.size()) - 1;
    state.CalcPoints = 500; // typed but never calculated: not what is written
    fields.resize(fields.size() + 10);
    intensities.resize(intensities.size() + 10);
    state.CalcField = fields;
    state.CalcIntensity = intensities;
    state.CalcCenterField = center;
    state.CalcScale = scale;
    return state;
}

ProgramState observed(const std::vector<double>& fields, const std::vector<double>& intensities)
{
    ProgramState state;
    state.ObsCount = static_cast<std::int32_t>(fields.size());
    state.ObsField = {0.0};
    state.ObsField.insert(state.ObsField.end(), fields.begin(), fields.end());
    state.ObsIntensity = {0.0};
    state.ObsIntensity.insert(state.ObsIntensity.end(), intensities.begin(), intensities.end());
    return state;
}

TEST(SpectrumTables, WriteTheSpectraAsPlottedWithFixedColumns)
{
    EXPECT_EQ(calTable(simulated({-1, 0, 1}, {0.5, -0.125, 60}, 3385.2, 2)),
              "3384.20       1.00000\r\n"
              "3385.20      -0.25000\r\n"
              "3386.20      120.00000\r\n");
    EXPECT_EQ(calTable(simulated({10000, -1000, 5}, {12.5, -0.000001, -10}, 0, 1)),
              "10000.00      12.50000\r\n"
              "-1000.00      -0.00000\r\n"
              "   5.00      -10.00000\r\n");
    EXPECT_EQ(obsTable(observed({3385.2, 3395.2}, {1, -1})),
              "3385.20     1.00000\r\n"
              "3395.20    -1.00000\r\n");
    EXPECT_EQ(calTable(ProgramState{}), "");
    EXPECT_EQ(obsTable(ProgramState{}), "");
}

TEST(SpectrumTables, NeverReadPastTheArrays)
{
    ProgramState state = simulated({-1, 1}, {0, 1}, 0, 1);
    state.CalcSpectrumPoints = 1000;
    state.CalcField.resize(2);
    EXPECT_EQ(calTable(state), "  -1.00       0.00000\r\n   1.00       1.00000\r\n");
    state = observed({1, 2}, {-1, 1});
    state.ObsCount = 1000;
    EXPECT_EQ(obsTable(state), "   1.00    -1.00000\r\n   2.00     1.00000\r\n");
}

std::string writeError(const ProgramState& state, const std::string& fileName)
{
    try {
        writeCalFile(state, fileName);
    } catch (const UserError& error) {
        return error.message();
    }
    return "(no error)";
}

TEST(WriteSpectrumFile, ReplacesAnEarlierFileWholeKeepingItsMode)
{
    ScratchDirectory scratch;
    const std::string target = scratch.file("run1.cal");
    writeBytes(target, "an earlier, longer file\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = scratch.file("link.cal");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    writeCalFile(simulated({0}, {1}, 3385.2, 1), link);
    EXPECT_EQ(readBytes(target), "3385.20       1.00000\r\n");
    struct stat status {};
    ASSERT_EQ(::lstat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(entriesOf(scratch.path()), (std::vector<std::string>{"link.cal", "run1.cal"}));
}

TEST(WriteSpectrumFile, AFailedWriteLeavesTheEarlierFileAndNoTemporaryFile)
{
    ScratchDirectory scratch;
    const std::string target = scratch.file("run1.cal");
    writeBytes(target, "earlier\r\n");
    ProgramState big = simulated(std::vector<double>(10000, 1.0), std::vector<double>(10000, 0.5), 0, 1);

    // A file-size limit makes the write fail part way, as a full disk does.
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = writeError(big, target);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);

    EXPECT_EQ(message, messages::ioError(EFBIG));
    EXPECT_EQ(readBytes(target), "earlier\r\n");
    EXPECT_EQ(entriesOf(scratch.path()), std::vector<std::string>{"run1.cal"});
}

TEST(WriteSpectrumFile, RefusesPlacesThatCannotTakeTheFile)
{
    ScratchDirectory scratch;
    const ProgramState state = simulated({0}, {1}, 0, 1);
    const std::string directory = scratch.subdirectory("run1.cal");
    const std::string fifo = scratch.file("pipe.cal");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    writeBytes(scratch.file("plain"), "x");
    const struct {
        std::string target;
        std::string message;
    } cases[] = {
        {directory, std::string(messages::kAccessDenied)},
        {scratch.file("missing/run1.cal"), std::string(messages::kFileNotFound)},
        {scratch.file("plain/run1.cal"), std::string(messages::kInvalidFileName)},
        {fifo, messages::notARegularFile(fifo)},
    };
    for (const auto& row : cases)
        EXPECT_EQ(writeError(state, row.target), row.message) << row.target;
    EXPECT_EQ(entriesOf(scratch.path()), (std::vector<std::string>{"pipe.cal", "plain", "run1.cal"}));
    EXPECT_TRUE(entriesOf(directory).empty());
}

TEST(WriteSpectrumFile, ReadOnlyPlacesAreAccessDenied)
{
    if (testing::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root";
    ScratchDirectory scratch;
    const ProgramState state = simulated({0}, {1}, 0, 1);
    writeBytes(scratch.file("protected.cal"), "earlier\r\n");
    ASSERT_EQ(::chmod(scratch.file("protected.cal").c_str(), 0444), 0);
    EXPECT_EQ(writeError(state, scratch.file("protected.cal")), messages::kAccessDenied);
    EXPECT_EQ(readBytes(scratch.file("protected.cal")), "earlier\r\n");

    writeBytes(scratch.file("run1.cal"), "earlier\r\n");
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0555), 0);
    const std::string message = writeError(state, scratch.file("run1.cal"));
    ::chmod(scratch.path().c_str(), 0755);
    EXPECT_EQ(message, messages::kAccessDenied);
    EXPECT_EQ(readBytes(scratch.file("run1.cal")), "earlier\r\n");
    EXPECT_EQ(entriesOf(scratch.path()), (std::vector<std::string>{"protected.cal", "run1.cal"}));
}

} // namespace
} // namespace ravelle
