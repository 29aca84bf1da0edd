#include <gtest/gtest.h>

#include <QImage>

#include <map>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "plot/PlotWindow.h"
#include "plot/Redraw.h"

namespace ravelle {
namespace {

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kRed = 0xFFFF0000u;
constexpr QRgb kAqua = 0xFF00FFFFu;
constexpr QRgb kWhite = 0xFFFFFFFFu;

QImage designRaster() { return QImage(857, 497, QImage::Format_RGB32); }

std::map<QRgb, int> colourCounts(const QImage& raster)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            ++counts[raster.pixel(x, y)];
    return counts;
}

// A row of the raster as one letter per pixel: . black, r red, a aqua, w white.
std::string rowText(const QImage& raster, int y, int fromX, int toX)
{
    std::string text;
    for (int x = fromX; x <= toX; ++x) {
        switch (raster.pixel(x, y)) {
        case kBlack: text += '.'; break;
        case kRed: text += 'r'; break;
        case kAqua: text += 'a'; break;
        case kWhite: text += 'w'; break;
        default: text += '?';
        }
    }
    return text;
}

// A state with a frame from -15 to 15 G around a centre of 0.
ProgramState frameOnly(double low = -15.0, double high = 15.0)
{
    ProgramState state;
    state.ObsFileName = "NONE";
    SetPlotWindow(state, {low, high});
    return state;
}

// A simulated spectrum of n + 1 points straight from -15 to 15 G (offsets)
// at a constant intensity.
void setSimulated(ProgramState& state, int n, double intensity, double scale)
{
    state.CalcValid = true;
    state.CalcSpectrumPoints = n;
    state.CalcField.assign(n + 10, 0.0);
    state.CalcIntensity.assign(n + 10, 0.0);
    for (int i = 0; i <= n; ++i) {
        state.CalcField[i] = -15.0 + 30.0 * i / n;
        state.CalcIntensity[i] = intensity;
    }
    state.CalcScale = scale;
}

void setObserved(ProgramState& state, const std::vector<double>& fields, const std::vector<double>& intensities)
{
    state.ObsFileName = "/data/radical.txt";
    state.ObsLoaded = true;
    state.ObsCount = static_cast<std::int32_t>(fields.size());
    state.ObsField.assign(fields.size() + 10, 0.0);
    state.ObsIntensity.assign(fields.size() + 10, 0.0);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        state.ObsField[i + 1] = fields[i];
        state.ObsIntensity[i + 1] = intensities[i];
    }
}

TEST(RedrawPlot, FrameAloneOnBlackGround)
{
    ProgramState state = frameOnly(3350.0, 3450.0);
    QImage raster = designRaster();
    raster.fill(0xFF123456u); // nothing of an earlier picture survives
    RedrawPlot(state, raster);

    EXPECT_EQ(state.PlotWidth, 857);
    EXPECT_EQ(state.PlotHeight, 497);
    // Columns 10 .. 847 and rows 12 .. 485: the closed outline, each pixel once.
    const std::map<QRgb, int> expected{{kBlack, 857 * 497 - 2620}, {kWhite, 2620}};
    EXPECT_EQ(colourCounts(raster), expected);
    EXPECT_EQ(rowText(raster, 12, 8, 12), "..www");
    EXPECT_EQ(rowText(raster, 485, 845, 849), "www..");
    EXPECT_EQ(rowText(raster, 11, 8, 12), ".....");
    EXPECT_EQ(rowText(raster, 300, 9, 11), ".w.");
    EXPECT_EQ(rowText(raster, 300, 846, 848), ".w.");
}

TEST(RedrawPlot, ScaleZeroLaysTheSimulatedTraceOnTheZeroRow)
{
    ProgramState state = frameOnly();
    setSimulated(state, 500, 0.7, 0.0);
    QImage raster = designRaster();
    RedrawPlot(state, raster);

    EXPECT_EQ(rowText(raster, 249, 9, 13), ".wrrr");
    EXPECT_EQ(rowText(raster, 249, 844, 848), "rrrw.");
    EXPECT_EQ(colourCounts(raster)[kRed], 836);
}

TEST(RedrawPlot, ObservedUnitIntensitiesFallOnRows33And464WhateverTheScale)
{
    ProgramState state = frameOnly();
    setSimulated(state, 10, 0.0, 5.0);
    setObserved(state, {-10.0, 10.0, 10.0, -10.0}, {1.0, 1.0, -1.0, -1.0});
    QImage raster = designRaster();
    RedrawPlot(state, raster);

    // -10 G maps to column 150 and 10 G to column 707.
    EXPECT_EQ(rowText(raster, 33, 149, 151), ".aa");
    EXPECT_EQ(rowText(raster, 33, 706, 708), "aa.");
    EXPECT_EQ(raster.pixel(707, 200), kAqua);
    // The last point of a trace is not painted, like every segment's end.
    EXPECT_EQ(rowText(raster, 464, 149, 152), "..aa");
}

// Frame over aqua over red: an aqua run on the red row hides the red there,
// and the frame columns stay white over both.
TEST(RedrawPlot, LaterElementsCoverEarlierOnes)
{
    ProgramState state = frameOnly();
    setSimulated(state, 500, 0.0, 1.0);
    setObserved(state, {-5.0, 5.0}, {0.0, 0.0});
    QImage raster = designRaster();
    RedrawPlot(state, raster);
    // -5 G maps to column 289 and 5 G to 568.
    EXPECT_EQ(rowText(raster, 249, 9, 12), ".wrr");
    EXPECT_EQ(rowText(raster, 249, 287, 290), "rraa");
    EXPECT_EQ(rowText(raster, 249, 566, 569), "aarr");
    EXPECT_EQ(rowText(raster, 249, 845, 848), "rrw.");

    // Observed beyond the frame: clipped at the raster edges, under the frame.
    setObserved(state, {-20.0, 20.0}, {0.0, 0.0});
    RedrawPlot(state, raster);
    EXPECT_EQ(rowText(raster, 249, 0, 11), "aaaaaaaaaawa");
    EXPECT_EQ(rowText(raster, 249, 846, 856), "awaaaaaaaaa");
    EXPECT_EQ(colourCounts(raster)[kRed], 0);
}

// A stepper raising the centre by 0.1 G over a 30 G range: the frame stays,
// the observed spectrum (absolute fields) slides about 2.8 columns left.
TEST(RedrawPlot, RaisedCentreSlidesTheObservedTraceLeft)
{
    struct Case {
        double field;
        int columnBefore;
        int columnAfter;
    };
    const std::vector<Case> cases{{0.0, 428, 426}, {-5.0, 289, 286}, {10.0, 707, 705}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        ProgramState state = frameOnly();
        setObserved(state, {c.field, c.field}, {-0.5, 0.5});
        QImage raster = designRaster();
        RedrawPlot(state, raster);
        EXPECT_EQ(raster.pixel(c.columnBefore, 200), kAqua);

        SetPlotWindow(state, {-14.9, 15.1});
        RedrawPlot(state, raster);
        EXPECT_EQ(raster.pixel(c.columnAfter, 200), kAqua);
        EXPECT_EQ(colourCounts(raster)[kAqua], IntensityToY(state, -0.5) - IntensityToY(state, 0.5));
        EXPECT_EQ(raster.pixel(10, 200), kWhite);
        EXPECT_EQ(raster.pixel(847, 200), kWhite);
    }
}

TEST(RedrawPlot, NeverReadsBeyondTheArrays)
{
    ProgramState state = frameOnly();
    setSimulated(state, 4, 0.0, 1.0);
    state.CalcSpectrumPoints = 1000000; // a count the arrays do not hold
    state.CalcField.resize(3);          // points -15, -7.5, 0
    state.CalcIntensity.resize(3);
    setObserved(state, {-15.0, 15.0}, {0.5, 0.5});
    state.ObsCount = 400000;
    state.ObsField.resize(3);
    state.ObsIntensity.resize(3);
    QImage raster = designRaster();
    RedrawPlot(state, raster);
    // Red from the left frame to the centre column 428, which is excluded.
    EXPECT_EQ(rowText(raster, 249, 426, 429), "rr..");
    EXPECT_EQ(colourCounts(raster)[kAqua], 836);
}

TEST(RedrawPlot, ZeroWidthWindowLeavesTheRasterBlackAndFails)
{
    ProgramState state = frameOnly(3385.0, 3385.0);
    setObserved(state, {3385.0, 3384.0, 3385.0}, {-1.0, 1.0, -1.0});
    QImage raster = designRaster();
    raster.fill(kWhite);
    try {
        RedrawPlot(state, raster);
        FAIL() << "no error";
    } catch (const UserError& error) {
        EXPECT_EQ(error.message(), messages::kInvalidOperation);
    }
    const std::map<QRgb, int> allBlack{{kBlack, 857 * 497}};
    EXPECT_EQ(colourCounts(raster), allBlack);
}

TEST(RedrawPlot, NoTracesWithoutSpectra)
{
    ProgramState state = frameOnly();
    setSimulated(state, 500, 0.5, 1.0);
    setObserved(state, {-5.0, 5.0}, {0.0, 0.0});
    state.CalcValid = false;      // no Calculate has passed its check
    state.ObsFileName = "NONE";   // no file chosen
    QImage raster = designRaster();
    RedrawPlot(state, raster);
    const auto counts = colourCounts(raster);
    EXPECT_EQ(counts.count(kRed), 0u);
    EXPECT_EQ(counts.count(kAqua), 0u);
}

} // namespace
} // namespace ravelle
