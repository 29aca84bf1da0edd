// Hostile observed files and remembered-directory files: what the reading
// makes of each, never hanging and never leaving a half-read spectrum.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <variant>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/FileAccess.h"
#include "io/LastDir.h"
#include "io/ObservedImport.h"
#include "tests/io/ScratchDirectory.h"

namespace ravelle {
namespace {

using testing::ScratchDirectory;
using testing::readBytes;
using testing::writeBytes;

// Lines "1 0" and "2 1" in turn: the smallest file of many valid points.
std::string alternatingLines(std::size_t lines)
{
    std::string bytes;
    bytes.reserve(lines * 4);
    for (std::size_t i = 0; i < lines; ++i)
        bytes += i % 2 == 0 ? "1 0\n" : "2 1\n";
    return bytes;
}

struct Imported {
    std::int32_t count;
    double firstField;
    double lastField;
    bool operator==(const Imported&) const = default;
};
using Outcome = std::variant<Imported, std::string>; // the spectrum or the message

Outcome importOutcome(const std::string& fileName)
{
    try {
        const ObservedSpectrum spectrum = importObservedSpectrum(fileName, '.');
        return Imported{spectrum.count, spectrum.field[1], spectrum.field[static_cast<std::size_t>(spectrum.count)]};
    } catch (const UserError& error) {
        return error.message();
    }
}

TEST(BadObservedFile, EachFileImportsOrGivesAClearMessage)
{
    ScratchDirectory scratch;
    const std::string good = "3390 1\n3400 -1\n3410 0\n";
    const std::string nineDigits = std::string(1 << 20, '9');
    struct Row {
        const char* what;
        std::function<std::string()> make; // creates the file, returns its name
        Outcome outcome;
    };
    const auto file = [&](const char* name, std::string bytes) {
        return [&scratch, name, bytes] {
            writeBytes(scratch.file(name), bytes);
            return scratch.file(name);
        };
    };
    const Row rows[] = {
        {"0 bytes", file("empty", ""), std::string(messages::kEmptyObservedFile)},
        {"one digit", file("digit", "7"), messages::notAReal("")},
        {"one line end", file("newline", "\n"), messages::notAReal("")},
        {"one Ctrl-Z", file("ctrl_z", "\x1A"), std::string(messages::kEmptyObservedFile)},
        {"NUL bytes at the ends of numbers are trimmed like blanks",
         file("nul_ends", std::string("\0" "3390\0 1\n3400 -1\n3410 0\n", 24)), Imported{3, 3390, 3410}},
        {"a NUL inside a number", file("nul_inside", std::string("33\0" "90 1\n", 9)),
         messages::notAReal(std::string("33\0" "90", 5))},
        {"only NUL bytes", file("nuls", std::string(1000, '\0')), messages::notAReal("")},
        {"binary junk", file("junk", "\xFF\xFE\x01 \x80\n"), messages::notAReal("\xFF\xFE")}, // \x01 trimmed like a blank
        {"invalid UTF-8 after a number", file("utf8", "3390\xC3 1\n"), messages::notAReal("3390\xC3")},
        // A byte-order mark counts only whole and at the very start.
        {"a byte-order mark alone", file("bom_only", "\xEF\xBB\xBF"), std::string(messages::kEmptyObservedFile)},
        {"a byte-order mark before Ctrl-Z", file("bom_ctrl_z", "\xEF\xBB\xBF\x1A" + good),
         std::string(messages::kEmptyObservedFile)},
        {"a broken byte-order mark", file("bom_broken", "\xEF\xBB" + good), messages::notAReal("\xEF\xBB" "3390")},
        {"the first bytes of a mark alone", file("bom_part", "\xEF\xBB"), messages::notAReal("")},
        {"two byte-order marks", file("bom_twice", "\xEF\xBB\xBF\xEF\xBB\xBF" + good),
         messages::notAReal("\xEF\xBB\xBF" "3390")},
        {"a byte-order mark on the second line", file("bom_second", "3380 0\n\xEF\xBB\xBF" + good),
         messages::notAReal("\xEF\xBB\xBF" "3390")},
        {"a 1 MB line holding a number", file("long_zeros", std::string(1 << 20, '0') + good),
         Imported{3, 3390, 3410}},
        {"a 1 MB number beyond a double", file("long_nines", nineDigits + " 1\n" + good), messages::notAReal(nineDigits)},
        {"a 1 MB line without a blank", file("long_word", std::string(1 << 20, 'x') + "\n"), messages::notAReal("")},
        {"10 million lines", file("ten_million", alternatingLines(kMaxObservedPoints)),
         Imported{kMaxObservedPoints, 1, 2}},
        {"one line more than may be imported", file("too_many", alternatingLines(kMaxObservedPoints + 1)),
         messages::tooManyObservedLines(kMaxObservedPoints)},
        {"a directory", [&] { return scratch.subdirectory("spectrum.dat"); }, std::string(messages::kAccessDenied)},
        {"a FIFO without a writer",
         [&] {
             ::mkfifo(scratch.file("fifo.dat").c_str(), 0644);
             return scratch.file("fifo.dat");
         },
         messages::notARegularFile(scratch.file("fifo.dat"))},
        {"an endless device", [] { return std::string("/dev/zero"); }, messages::notARegularFile("/dev/zero")},
        {"an empty device", [] { return std::string("/dev/null"); }, messages::notARegularFile("/dev/null")},
        {"a missing file", [&] { return scratch.file("missing.dat"); }, std::string(messages::kFileNotFound)},
        {"a name too long", [&] { return scratch.file(std::string(300, 'n')); }, std::string(messages::kInvalidFileName)},
        {"a path through a file", [&] { return scratch.file("empty/x.dat"); }, std::string(messages::kInvalidFileName)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string name = row.make();
        const Outcome outcome = importOutcome(name);
        if (const auto* message = std::get_if<std::string>(&outcome); message && message->size() > 200)
            FAIL() << "a message of " << message->size() << " bytes";
        EXPECT_EQ(outcome, row.outcome);
    }
}

TEST(BadObservedFile, AnUnreadableFileIsAccessDenied)
{
    if (testing::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root";
    ScratchDirectory scratch;
    writeBytes(scratch.file("locked.dat"), "3390 1\n3400 -1\n");
    ASSERT_EQ(::chmod(scratch.file("locked.dat").c_str(), 0), 0);
    EXPECT_EQ(importOutcome(scratch.file("locked.dat")), Outcome(std::string(messages::kAccessDenied)));
}

// What the remembered directory becomes from a hostile dirinf, and that the
// next choice of a file replaces it whole.
TEST(BadDirinf, LoadingNeverHangsOrFailsAndTheNextStoreRepairsIt)
{
    ScratchDirectory start;
    testing::CurrentDirectoryGuard cwd;
    const std::string dirinf = start.file("dirinf");
    const std::string tenMegabytes = std::string(10 << 20, 'd');
    struct Row {
        const char* what;
        std::function<void()> make;
        std::string lastDir; // what LoadLastDir leaves, starting from "/before"
    };
    const Row rows[] = {
        {"binary junk: its first line, byte for byte",
         [&] { writeBytes(dirinf, std::string("\0\xFF\x01junk\r\nsecond", 14)); }, std::string("\0\xFF\x01junk", 7)},
        {"a 10 MB line is no directory", [&] { writeBytes(dirinf, tenMegabytes + "\r\n"); }, "/before"},
        {"a 10 MB line without a line end", [&] { writeBytes(dirinf, tenMegabytes); }, "/before"},
        {"a directory that no longer exists", [&] { writeBytes(dirinf, start.file("gone") + "\r\n"); },
         start.file("gone")},
        {"an empty file", [&] { writeBytes(dirinf, ""); }, ""},
        {"dirinf is a directory", [&] { std::filesystem::create_directory(dirinf); }, "/before"},
        {"dirinf is a FIFO", [&] { ::mkfifo(dirinf.c_str(), 0644); }, "/before"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(dirinf);
        row.make();
        ProgramState state;
        Initialise(state, start.path());
        state.LastDir = "/before";
        LoadLastDir(state);
        EXPECT_EQ(state.LastDir, row.lastDir);

        // A file chosen next: dirinf becomes a plain file naming its directory,
        // where it could be replaced.
        StoreLastDir(state, start.file("run1.dat"));
        EXPECT_EQ(state.LastDir, start.path());
        std::error_code error;
        if (std::filesystem::is_regular_file(dirinf, error)) {
            EXPECT_EQ(readBytes(dirinf), start.path() + "\r\n");
        }
    }
}

} // namespace
} // namespace ravelle
