#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "plot/LineRaster.h"
#include "plot/PlotWindow.h"

namespace ravelle {
namespace {

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

ProgramState designSizeWindow(double low, double high)
{
    ProgramState state;
    state.PlotWidth = 857;
    state.PlotHeight = 497;
    SetPlotWindow(state, {low, high});
    return state;
}

TEST(SetPlotWindow, StoresFrameAndAddsMargins)
{
    const ProgramState state = designSizeWindow(3350.0, 3450.0);
    EXPECT_EQ(state.FrameFieldLow, 3350.0);
    EXPECT_EQ(state.FrameFieldHigh, 3450.0);
    EXPECT_EQ(state.FrameIntLow, -1.1);
    EXPECT_EQ(state.FrameIntHigh, 1.1);
    EXPECT_DOUBLE_EQ(state.PlotFieldMin, 3348.8);
    EXPECT_DOUBLE_EQ(state.PlotFieldMax, 3451.2);
    EXPECT_DOUBLE_EQ(state.PlotIntMin, -1.155);
    EXPECT_DOUBLE_EQ(state.PlotIntMax, 1.155);
}

// A frame value gives the window a command stores, or fails before anything
// is stored when a margin runs beyond the double range.
TEST(SetPlotWindow, WindowOfAFrameIsWhatTheStateStores)
{
    const std::vector<PlotFrame> frames{{-15.0, 15.0}, {3450.0, 3350.0}, {5.0, 5.0}, {-1e300, 1e300}};
    for (const PlotFrame frame : frames) {
        SCOPED_TRACE(std::to_string(frame.low) + " .. " + std::to_string(frame.high));
        ProgramState state;
        SetPlotWindow(state, frame);
        const PlotWindow window = plotWindowOf(frame);
        const PlotWindow stored = plotWindowOf(state);
        const double values[] = {window.frameFieldLow, window.frameFieldHigh, window.frameIntLow, window.frameIntHigh,
                                 window.fieldMin,      window.fieldMax,       window.intMin,      window.intMax};
        const double held[] = {state.FrameFieldLow, state.FrameFieldHigh, state.FrameIntLow, state.FrameIntHigh,
                               state.PlotFieldMin,  state.PlotFieldMax,   state.PlotIntMin,  state.PlotIntMax};
        const double back[] = {stored.frameFieldLow, stored.frameFieldHigh, stored.frameIntLow, stored.frameIntHigh,
                               stored.fieldMin,      stored.fieldMax,       stored.intMin,      stored.intMax};
        for (std::size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(values[i], held[i]) << i;
            EXPECT_EQ(back[i], held[i]) << i;
        }
        EXPECT_EQ(window.frameFieldLow, frame.low);
        EXPECT_EQ(window.frameFieldHigh, frame.high);
    }

    ProgramState state;
    SetPlotWindow(state, {1.0, 2.0});
    for (const PlotFrame frame : {PlotFrame{-1.78e308, 1.78e308}, PlotFrame{1.79e308, 0.0}}) {
        try {
            SetPlotWindow(state, frame);
            ADD_FAILURE() << "no overflow for " << frame.low << " .. " << frame.high;
        } catch (const UserError& error) {
            EXPECT_EQ(error.message(), messages::kOverflow);
        }
        EXPECT_EQ(state.FrameFieldLow, 1.0) << "a failed window leaves the stored one alone";
        EXPECT_EQ(state.FrameFieldHigh, 2.0);
    }
}

// The frame edges and the unit intensities land where they always have at
// the design size, whatever the field limits.
TEST(Mapping, DesignSizeFrameAndIntensityRows)
{
    const std::vector<std::pair<double, double>> frames{
        {-15.0, 15.0}, {3350.0, 3450.0}, {15.0, -15.0}, {3399.99, 3400.01}, {-1e6, 1e9}};
    for (const auto& [low, high] : frames) {
        SCOPED_TRACE(std::to_string(low) + " .. " + std::to_string(high));
        const ProgramState state = designSizeWindow(low, high);
        EXPECT_EQ(FieldToX(state, low), 10);
        EXPECT_EQ(FieldToX(state, high), 847);
        EXPECT_EQ(FieldToX(state, state.PlotFieldMin), 0);
        EXPECT_EQ(FieldToX(state, state.PlotFieldMax), 857);
    }

    const ProgramState state = designSizeWindow(-15.0, 15.0);
    const std::vector<std::pair<double, std::int32_t>> rows{
        {1.1, 12}, {1.0, 33}, {0.0, 249}, {-1.0, 464}, {-1.1, 485}, {1.155, 0}, {-1.155, 497},
        {2.0, -182}, {-10.0, 2400}};
    for (const auto& [intensity, row] : rows)
        EXPECT_EQ(IntensityToY(state, intensity), row) << intensity;
}

// A window of 0 .. 857 over 857 columns maps a field to itself, so the
// rounding shows directly: nearest, an exact half to the even neighbour.
TEST(Mapping, RoundsHalvesToEvenAndClampsOnlyBeyond32Bits)
{
    ProgramState state;
    state.PlotWidth = 857;
    state.PlotFieldMin = 0.0;
    state.PlotFieldMax = 857.0;
    const std::vector<std::pair<double, std::int32_t>> columns{
        {428.5, 428}, {248.5, 248}, {11.5, 12}, {0.5, 0}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2},
        {2.5001, 3}, {-5000.0, -5000}, {123456789.0, 123456789}, {2147483647.0, kMax32},
        {-2147483648.0, kMin32}, {1e12, kMax32}, {-1e12, kMin32}, {1e300, kMax32}};
    for (const auto& [field, column] : columns)
        EXPECT_EQ(FieldToX(state, field), column) << field;
}

TEST(Mapping, ZeroWidthWindowRaisesTheFloatingPointError)
{
    ProgramState state = designSizeWindow(3385.0, 3385.0);
    const std::vector<std::pair<double, std::string_view>> cases{
        {3385.0, messages::kInvalidOperation}, // 0 / 0
        {3386.0, messages::kDivisionByZero}};
    for (const auto& [field, message] : cases) {
        try {
            FieldToX(state, field);
            ADD_FAILURE() << "no error for " << field;
        } catch (const UserError& error) {
            EXPECT_EQ(error.message(), message);
        }
    }
    EXPECT_EQ(IntensityToY(state, 0.0), 249); // the intensity window never collapses
}

// --- the line rasteriser ---

using Pixels = std::vector<std::pair<std::int32_t, std::int32_t>>;

Pixels rasterise(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, std::int32_t width,
                 std::int32_t height)
{
    Pixels pixels;
    rasterLine(x0, y0, x1, y1, width, height, [&](std::int32_t x, std::int32_t y) { pixels.emplace_back(x, y); });
    return pixels;
}

TEST(LineRaster, ShortSegmentsExcludeTheirEndPoint)
{
    struct Case {
        std::int64_t x0, y0, x1, y1;
        Pixels expected;
    };
    const std::vector<Case> cases{
        {2, 2, 2, 2, {}},
        {2, 2, 3, 2, {{2, 2}}},
        {0, 0, 4, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {4, 0, 0, 0, {{4, 0}, {3, 0}, {2, 0}, {1, 0}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}}, // 0.5 rounds away from the start
        {0, 0, 1, 4, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
        {5, 5, 5, 2, {{5, 5}, {5, 4}, {5, 3}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rasterise(c.x0, c.y0, c.x1, c.y1, 10, 10), c.expected)
            << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
}

// Clipping must paint exactly the inside pixels of the unclipped line.
TEST(LineRaster, ClippingKeepsExactlyTheInsidePixelsOfTheWholeLine)
{
    const std::int32_t width = 37;
    const std::int32_t height = 23;
    std::uint64_t seed = 12345;
    auto next = [&seed](std::int64_t range) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::int64_t>((seed >> 33) % static_cast<std::uint64_t>(2 * range + 1)) - range;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::int64_t range = round % 3 == 0 ? 60 : 400;
        const std::int64_t x0 = next(range), y0 = next(range), x1 = next(range), y1 = next(range);
        Pixels unclipped = rasterise(x0 + 1000, y0 + 1000, x1 + 1000, y1 + 1000, 3000, 3000);
        Pixels expected;
        for (const auto& [x, y] : unclipped)
            if (x - 1000 >= 0 && x - 1000 < width && y - 1000 >= 0 && y - 1000 < height)
                expected.emplace_back(x - 1000, y - 1000);
        ASSERT_EQ(rasterise(x0, y0, x1, y1, width, height), expected)
            << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
}

TEST(LineRaster, ExtremeCoordinatesCostOnlyTheVisiblePixels)
{
    // Horizontal across the whole 32-bit range: every column of row 3.
    const Pixels row = rasterise(kMin32, 3, kMax32, 3, 50, 10);
    ASSERT_EQ(row.size(), 50u);
    EXPECT_EQ(row.front(), std::make_pair(0, 3));
    EXPECT_EQ(row.back(), std::make_pair(49, 3));

    // Far endpoints on both sides of a gentle slope: the row changes where
    // the whole line says, at column 0 of a line through (0, 2) and (2^31, 2^31 / 16).
    const Pixels slope = rasterise(0, 2, kMax32, 2 + kMax32 / 16, 40, 10);
    ASSERT_EQ(slope.size(), 40u);
    EXPECT_EQ(slope[7], std::make_pair(7, 2));
    EXPECT_EQ(slope[9], std::make_pair(9, 3));
    EXPECT_EQ(slope[24], std::make_pair(24, 3));
    EXPECT_EQ(slope[25], std::make_pair(25, 4));

    EXPECT_TRUE(rasterise(kMin32, kMin32, kMax32, kMin32, 50, 10).empty());
    EXPECT_TRUE(rasterise(0, 0, 9, 9, 0, 10).empty());
}

} // namespace
} // namespace ravelle
