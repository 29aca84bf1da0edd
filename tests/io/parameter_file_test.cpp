#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/UserError.h"
#include "io/ParameterFile.h"
#include "tests/io/ScratchDirectory.h"

namespace ravelle::parameters {
namespace {

using ravelle::testing::ScratchDirectory;
using ravelle::testing::readBytes;
using ravelle::testing::writeBytes;

std::string errorOf(std::string_view text)
{
    try {
        parseDocument(text, "p.ravelle");
    } catch (const UserError& error) {
        return error.message();
    }
    return "(no error)";
}

TEST(ParameterFile, EscapesOnlyWhatCouldNotComeBackAsItIs)
{
    const struct {
        std::string value;
        std::string written;
    } cases[] = {
        {"3400.00", "3400.00"},
        {"", ""},
        {"a = b # c ; [d]", "a = b # c ; [d]"},
        {"C:\\data", "C:\\\\data"},
        {" 1.5 ", "\\x201.5\\x20"},
        {"1 5", "1 5"},
        {"\t", "\\x09"},
        {"x\r\ny", "x\\x0D\\x0Ay"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x7F", "\\x7F"},
        {"Å 0,5 µ 日本", "Å 0,5 µ 日本"},           // well-formed UTF-8 stays readable
        {"\xC3", "\\xC3"},                            // a lead byte alone
        {"\xC0\xAF", "\\xC0\\xAF"},                   // an overlong form
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},          // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},     // an emoji
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.written);
        EXPECT_EQ(escapeValue(row.value), row.written);
        EXPECT_EQ(unescapeValue(row.written), row.value);
    }
    for (const char* broken : {"\\", "a\\q", "\\x4", "\\x4g", "\\X41"})
        EXPECT_EQ(unescapeValue(broken), std::nullopt) << broken;
}

TEST(ParameterFile, EveryByteComesBackExactly)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all.push_back(static_cast<char>(byte));
    Document document;
    document.sections.push_back({"Main window", 0, {{"GCntr", all, 0}, {"Scl", " " + all + " ", 0}, {"G", "", 0}}});
    document.sections.push_back({"Model window", 0, {}});
    const Document read = parseDocument(formatDocument(document), "p.ravelle");
    ASSERT_EQ(read.sections.size(), 2u);
    EXPECT_EQ(read.sections[0].name, "Main window");
    EXPECT_EQ(read.sections[0].line, 4u);
    ASSERT_EQ(read.sections[0].entries.size(), 3u);
    EXPECT_EQ(read.sections[0].entries[0].value, all);
    EXPECT_EQ(read.sections[0].entries[1].value, " " + all + " ");
    EXPECT_EQ(read.sections[0].entries[2].value, "");
    EXPECT_EQ(read.sections[0].entries[2].line, 7u);
    EXPECT_TRUE(read.sections[1].entries.empty());
}

TEST(ParameterFile, ReadsWhatAnEditorMayMakeOfIt)
{
    const std::string text =
        "\xEF\xBB\xBF[Ravelle2 parameter set]\n"
        "version=1\n"
        "# a comment\n"
        "; another\n"
        "\n"
        "  [ Main window ]  \r\n"
        "\tGCntr   =  3400.00 \t\r\n"
        "H1 = a = b\n"
        "[End]\n"
        "# after the end\n";
    const Document read = parseDocument(text, "p.ravelle");
    ASSERT_EQ(read.sections.size(), 1u);
    EXPECT_EQ(read.sections[0].name, "Main window");
    ASSERT_EQ(read.sections[0].entries.size(), 2u);
    EXPECT_EQ(read.sections[0].entries[0].name, "GCntr");
    EXPECT_EQ(read.sections[0].entries[0].value, "3400.00");
    EXPECT_EQ(read.sections[0].entries[0].line, 7u);
    EXPECT_EQ(read.sections[0].entries[1].value, "a = b");
}

TEST(ParameterFile, RefusesWhatIsForeignNewerBrokenOrCutShort)
{
    const std::string title = "[Ravelle2 parameter set]\r\n";
    const std::string start = title + "version = 1\r\n";
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"", "'p.ravelle' is not a Ravelle2 parameter set: its first line is not '[Ravelle2 parameter set]'."},
        {"3400.00 1.5\r\n", "'p.ravelle' is not a Ravelle2 parameter set: its first line is not '[Ravelle2 parameter set]'."},
        {"[Ravelle parameter set]\r\nversion = 1\r\n[End]\r\n",
         "'p.ravelle' is not a Ravelle2 parameter set: its first line is not '[Ravelle2 parameter set]'."},
        {std::string("\xFF\xFE[\0R\0", 6),
         "'p.ravelle' is not a Ravelle2 parameter set: its first line is not '[Ravelle2 parameter set]'."},
        {title + "version = 2\r\n[Whatever comes]\r\n%%%\r\n",
         "'p.ravelle' was saved by a newer Ravelle2 (parameter-set version 2); this one opens version 1 only."},
        {title + "version = 99999999999999999999\r\n",
         "'p.ravelle' was saved by a newer Ravelle2 (parameter-set version 99999999999999999999); this one opens version 1 only."},
        {title + "version = 0\r\n[End]\r\n",
         "Line 2 of 'p.ravelle': the line after the title must be 'version = ' and a whole number greater than 0."},
        {title + "version = 1.0\r\n[End]\r\n",
         "Line 2 of 'p.ravelle': the line after the title must be 'version = ' and a whole number greater than 0."},
        {title + "[Main window]\r\n",
         "Line 2 of 'p.ravelle': the line after the title must be 'version = ' and a whole number greater than 0."},
        {title, "'p.ravelle' is incomplete: it ends before its line '[End]', so it was probably cut short."},
        {start + "[Main window]\r\nGCntr = 34", "'p.ravelle' is incomplete: it ends before its line '[End]', so it was probably cut short."},
        {start + "[Main window]\r\nGCntr 3400\r\n[End]\r\n",
         "Line 4 of 'p.ravelle': 'GCntr 3400' is neither a section such as '[Main window]' nor an entry 'name = value'."},
        {start + "[Main window]\r\n= 3400\r\n[End]\r\n",
         "Line 4 of 'p.ravelle': '= 3400' is neither a section such as '[Main window]' nor an entry 'name = value'."},
        {start + "[Main window\r\n[End]\r\n",
         "Line 3 of 'p.ravelle': '[Main window' is neither a section such as '[Main window]' nor an entry 'name = value'."},
        {start + "GCntr = 1\r\n[End]\r\n", "Line 3 of 'p.ravelle': an entry stands before the first section."},
        {start + "[Main window]\r\nGCntr = 1\\q\r\n[End]\r\n",
         "Line 4 of 'p.ravelle': a backslash must be followed by a second one, or by x and two hex digits."},
        {start + "[Main window]\r\nGCntr = 1\r2\r\n[End]\r\n",
         "Line 4 of 'p.ravelle': the line holds a control character; write it as \\x and two hex digits."},
        {start + std::string("[Main window]\r\nGCntr = \0\r\n[End]\r\n", 34),
         "Line 4 of 'p.ravelle': the line holds a control character; write it as \\x and two hex digits."},
        {start + "[End]\r\n[Main window]\r\n", "Line 4 of 'p.ravelle': nothing may follow the line '[End]'."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(errorOf(row.text), row.message);
    }
}

TEST(ParameterFile, IsReplacedWholeAndReadBack)
{
    ScratchDirectory scratch;
    const std::string name = scratch.file("set.ravelle");
    writeBytes(name, "an older file");
    Document document;
    document.sections.push_back({"Main window", 0, {{"GCntr", "3400.00", 0}}});
    writeParameterFile(name, document);
    EXPECT_EQ(readBytes(name), "[Ravelle2 parameter set]\r\nversion = 1\r\n\r\n[Main window]\r\nGCntr = 3400.00\r\n\r\n[End]\r\n");
    const Document read = readParameterFile(name);
    ASSERT_EQ(read.sections.size(), 1u);
    EXPECT_EQ(read.sections[0].entries[0].value, "3400.00");
    EXPECT_EQ(ravelle::testing::entriesOf(scratch.path()), std::vector<std::string>{"set.ravelle"});
}

TEST(ParameterFile, RefusesAFileTooLargeBeforeReadingIt)
{
    ScratchDirectory scratch;
    const std::string name = scratch.file("huge.ravelle");
    writeBytes(name, "[Ravelle2 parameter set]\r\n");
    std::filesystem::resize_file(name, kMaxFileBytes + 1);
    try {
        readParameterFile(name);
        ADD_FAILURE() << "read";
    } catch (const UserError& error) {
        EXPECT_EQ(error.message(), "'huge.ravelle' holds 16777217 bytes, more than the 16777216 a parameter set may have.");
    }
}

} // namespace
} // namespace ravelle::parameters
