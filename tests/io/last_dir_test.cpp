#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "engine/Messages.h"
#include "io/FileError.h"
#include "io/LastDir.h"
#include "tests/io/ScratchDirectory.h"

namespace ravelle {
namespace {

using testing::CurrentDirectoryGuard;
using testing::ScratchDirectory;
using testing::currentDirectory;
using testing::entriesOf;
using testing::fileExists;
using testing::readBytes;
using testing::writeBytes;

TEST(FileErrorMessage, GroupsErrnoValuesByWhatTheUserCanDo)
{
    const struct {
        int error;
        std::string message;
    } cases[] = {
        {ENOENT, std::string(messages::kFileNotFound)},
        {ENAMETOOLONG, std::string(messages::kInvalidFileName)},
        {ENOTDIR, std::string(messages::kInvalidFileName)},
        {EINVAL, std::string(messages::kInvalidFileName)},
        {EACCES, std::string(messages::kAccessDenied)},
        {EPERM, std::string(messages::kAccessDenied)},
        {EROFS, std::string(messages::kAccessDenied)},
        {EISDIR, std::string(messages::kAccessDenied)},
        {ENOSPC, "I/O エラー (28)"},
        {EIO, "I/O エラー (5)"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(fileErrorMessage(row.error), row.message) << "errno " << row.error;
    EXPECT_EQ(fileError(ENOENT).message(), messages::kFileNotFound);
}

TEST(DirectoryPart, KeepsTheSeparatorOnlyWhereItIsTheRootOrDoubled)
{
    const struct {
        const char* fullName;
        const char* directory;
    } cases[] = {
        {"/data/run1.dat", "/data"},
        {"/run1.dat", "/"},
        {"run1.dat", ""},
        {"", ""},
        {"/data/sub/", "/data/sub"},
        {"/data//run1.dat", "/data//"},
        {"/data/スペクトル/run1.dat", "/data/スペクトル"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(directoryPart(row.fullName), row.directory) << row.fullName;
}

TEST(DirinfPath, IsInTheStartUpDirectory)
{
    ProgramState state;
    state.StartDir = "/home/chemist";
    EXPECT_EQ(dirinfPath(state), "/home/chemist/dirinf");
    state.StartDir = "/";
    EXPECT_EQ(dirinfPath(state), "/dirinf");
}

class LastDirTest : public ::testing::Test {
protected:
    LastDirTest() { Initialise(state, start.path()); }

    CurrentDirectoryGuard cwd;
    ScratchDirectory start;
    ProgramState state;
};

TEST_F(LastDirTest, LoadTakesTheFirstLineWithoutItsLineEnd)
{
    const struct {
        const char* bytes;
        const char* lastDir;
    } cases[] = {
        {"/data/esr\r\n", "/data/esr"},
        {"/data/esr\n", "/data/esr"},
        {"/data/esr", "/data/esr"},
        {"/first\r\n/second\r\n", "/first"},
        {"", ""},
        {"\r\n/second\r\n", ""},
    };
    for (const auto& row : cases) {
        writeBytes(dirinfPath(state), row.bytes);
        state.LastDir = "before";
        LoadLastDir(state);
        EXPECT_EQ(state.LastDir, row.lastDir) << row.bytes;
    }
}

TEST_F(LastDirTest, LoadWithoutAReadableDirinfLeavesLastDirAlone)
{
    state.LastDir = "/kept";
    LoadLastDir(state); // no dirinf yet
    EXPECT_EQ(state.LastDir, "/kept");

    // A directory or a FIFO in its place: no error, and never a hang.
    ASSERT_EQ(::mkdir(dirinfPath(state).c_str(), 0755), 0);
    LoadLastDir(state);
    EXPECT_EQ(state.LastDir, "/kept");
    ASSERT_EQ(::rmdir(dirinfPath(state).c_str()), 0);
    ASSERT_EQ(::mkfifo(dirinfPath(state).c_str(), 0644), 0);
    LoadLastDir(state);
    EXPECT_EQ(state.LastDir, "/kept");
}

TEST_F(LastDirTest, StoreRemembersTheDirectoryAndMovesThere)
{
    ScratchDirectory elsewhere;
    StoreLastDir(state, elsewhere.file("run1.dat"));
    EXPECT_EQ(state.LastDir, elsewhere.path());
    EXPECT_EQ(currentDirectory(), elsewhere.path());
    // dirinf stays in the start-up directory, replaced whole each time.
    EXPECT_EQ(readBytes(start.file("dirinf")), elsewhere.path() + "\r\n");
    EXPECT_FALSE(fileExists(elsewhere.file("dirinf")));
    StoreLastDir(state, "/run2.dat");
    EXPECT_EQ(readBytes(start.file("dirinf")), "/\r\n");
    EXPECT_EQ(entriesOf(start.path()), std::vector<std::string>{"dirinf"});

    // A later run from the same start-up directory finds the memory.
    ProgramState later;
    Initialise(later, start.path());
    LoadLastDir(later);
    EXPECT_EQ(later.LastDir, "/");
    // A run started elsewhere does not.
    ProgramState other;
    Initialise(other, elsewhere.path());
    LoadLastDir(other);
    EXPECT_EQ(other.LastDir, "");
}

TEST_F(LastDirTest, StoreGoesOnWhenTheDirectoryOrDirinfIsUnusable)
{
    // A directory that does not exist: LastDir follows the name, the current
    // directory stays.
    const std::string before = currentDirectory();
    StoreLastDir(state, "/no/such/directory/run1.dat");
    EXPECT_EQ(state.LastDir, "/no/such/directory");
    EXPECT_EQ(currentDirectory(), before);
    EXPECT_EQ(readBytes(start.file("dirinf")), "/no/such/directory\r\n");

    // dirinf cannot be replaced (a directory of that name): no error either.
    ASSERT_EQ(::unlink(start.file("dirinf").c_str()), 0);
    ASSERT_EQ(::mkdir(start.file("dirinf").c_str(), 0755), 0);
    EXPECT_NO_THROW(StoreLastDir(state, start.file("run1.dat")));
    EXPECT_EQ(state.LastDir, start.path());
    EXPECT_EQ(entriesOf(start.path()), std::vector<std::string>{"dirinf"});
}

TEST_F(LastDirTest, StoreInAReadOnlyStartUpDirectoryStillMoves)
{
    if (testing::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root";
    ScratchDirectory elsewhere;
    writeBytes(start.file("dirinf"), "/old\r\n");
    ASSERT_EQ(::chmod(start.path().c_str(), 0555), 0);
    EXPECT_NO_THROW(StoreLastDir(state, elsewhere.file("run1.dat")));
    ::chmod(start.path().c_str(), 0755);
    EXPECT_EQ(state.LastDir, elsewhere.path());
    EXPECT_EQ(currentDirectory(), elsewhere.path());
    EXPECT_EQ(readBytes(start.file("dirinf")), "/old\r\n");
    EXPECT_EQ(entriesOf(start.path()), std::vector<std::string>{"dirinf"});
}

} // namespace
} // namespace ravelle
