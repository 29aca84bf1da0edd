// The texts the command line writes, apart from running it.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "cli/Files.h"
#include "cli/Series.h"
#include "cli/Tables.h"
#include "engine/UserError.h"

namespace ravelle::cli {
namespace {

TEST(CliTables, CsvCellsAreQuotedOnlyWhereNeeded)
{
    const std::pair<const char*, const char*> cases[] = {
        {"noisy_1.dat", "noisy_1.dat"},
        {"", ""},
        {"a,b.dat", "\"a,b.dat\""},
        {"say \"x\"", "\"say \"\"x\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {" lead.dat", "\" lead.dat\""},
        {"ファイルが見つかりません", "ファイルが見つかりません"},
    };
    for (const auto& [text, cell] : cases)
        EXPECT_EQ(csvCell(text), cell) << text;
}

TEST(CliTables, NumbersAreShortestAndReadBackExactly)
{
    const std::pair<double, const char*> cases[] = {
        {3400.25, "3400.25"}, {-0.0, "0"}, {0.1, "0.1"}, {1e-05, "1e-05"}, {-7000.5, "-7000.5"},
        {1.0 / 3, "0.3333333333333333"}, {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(exactNumber(value), text);
        EXPECT_EQ(std::stod(exactNumber(value)), value);
    }
    const double field[] = {3300.5, 3301};
    const double intensity[] = {-1e-05, 2};
    EXPECT_EQ(twoColumnText(field, intensity), "3300.5 -1e-05\r\n3301 2\r\n");
}

TEST(CliFiles, OutputNamesFollowTheSaveDialogsSuggestion)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"out", "/data/run1.dat", "out/run1.dat"},
        {"out/", "run1.DSC", "out/run1.dat"},
        {"/tmp", "../x.d", "/tmp/x.dat"},
        {"out", "series/.hidden", "out/hidden.dat"},
        {"out", "noext", "out/noext.dat"},
    };
    for (const auto& [folder, input, output] : cases)
        EXPECT_EQ(outputFileName(folder, input, ".dat"), output) << input;
}

TEST(CliFiles, NoOutputReplacesAnInputOrAnotherOutput)
{
    EXPECT_NO_THROW(checkOutputsApart({"/d/a.dat", "/d/b.dat"}, {"/o/a.dat", "/o/b.dat"}));
    EXPECT_THROW(checkOutputsApart({"/d/a.dat"}, {"/d/./a.dat"}), UserError);
    EXPECT_THROW(checkOutputsApart({"/d/a.dat"}, {"/d/sub/../a.dat"}), UserError);
    EXPECT_THROW(checkOutputsApart({"/d/a.DSC", "/d/a.DTA"}, {"/o/a.dat", "/o/a.dat"}), UserError);
}

TEST(CliSeries, RowsKeepTheFileOrderAndLeaveAFailuresValuesEmpty)
{
    FileFit good;
    good.ok = true;
    good.outcome = "ok";
    good.values = {{"10.32", "0.0042"}, {"0.1461", "0.0047"}};
    good.rmsBefore = "0.38";
    good.rmsAfter = "0.03";
    good.points = "999";
    good.iterations = "33";
    FileFit failed;
    failed.outcome = "not converged: the fit, 1, 2";
    EXPECT_EQ(seriesCsv({"a.dat", "b,c.dat"}, {"N1", "Sigma"}, {good, failed}),
              "file,outcome,N1,N1_uncertainty,Sigma,Sigma_uncertainty,g,g_uncertainty,rms_before,rms_after,"
              "points,iterations\r\n"
              "a.dat,ok,10.32,0.0042,0.1461,0.0047,,,0.38,0.03,999,33\r\n"
              "\"b,c.dat\",\"not converged: the fit, 1, 2\",,,,,,,,,,\r\n");
}

} // namespace
} // namespace ravelle::cli
