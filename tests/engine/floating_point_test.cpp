#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "tests/support/EngineTesting.h"

namespace ravelle {
namespace {

using testing::messageOf;

// Opaque to the optimiser, so the operations below happen at run time.
template <typename T>
T runtime(T value)
{
    return floatingPointBarrier(value);
}

TEST(FloatingPointTest, EachFailingOperationReportsItsOwnMessage)
{
    struct Row {
        const char* what;
        std::function<void()> operation;
        std::string_view message;
    };
    const Row rows[] = {
        {"0 / 0", [] { floatingPointBarrier(runtime(0.0L) / runtime(0.0L)); }, messages::kInvalidOperation},
        {"sqrt(-1)", [] { floatingPointBarrier(std::sqrt(runtime(-1.0L))); }, messages::kInvalidOperation},
        {"1 / 0", [] { floatingPointBarrier(runtime(1.0L) / runtime(0.0L)); }, messages::kDivisionByZero},
        {"-3 / 0 in double", [] { floatingPointBarrier(runtime(-3.0) / runtime(0.0)); }, messages::kDivisionByZero},
        {"double overflow", [] { floatingPointBarrier(runtime(DBL_MAX) * runtime(2.0)); }, messages::kOverflow},
        {"extended overflow", [] { floatingPointBarrier(runtime(LDBL_MAX) * runtime(2.0L)); }, messages::kOverflow},
        {"underflow is silent", [] { floatingPointBarrier(runtime(DBL_MIN) * runtime(DBL_MIN)); }, ""},
        {"inexact is silent", [] { floatingPointBarrier(runtime(1.0L) / runtime(3.0L)); }, ""},
    };
    for (const auto& row : rows) {
        clearFloatingPointErrors();
        EXPECT_EQ(messageOf([&] {
                      row.operation();
                      throwOnFloatingPointError();
                  }),
                  row.message)
            << row.what;
        // Reported failures are cleared, so the next test starts clean.
        EXPECT_EQ(messageOf(throwOnFloatingPointError), "") << row.what;
    }
}

TEST(FloatingPointTest, ClearingForgetsEarlierFailures)
{
    floatingPointBarrier(runtime(1.0) / runtime(0.0));
    clearFloatingPointErrors();
    EXPECT_EQ(messageOf(throwOnFloatingPointError), "");
}

TEST(FloatingPointTest, StoreDoubleRoundsOrRefuses)
{
    const long double inf = std::numeric_limits<long double>::infinity();
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    struct Row {
        long double value;
        std::string_view message;
    };
    const Row rows[] = {
        {LDBL_MAX, messages::kOverflow},
        {-static_cast<long double>(DBL_MAX) * 2, messages::kOverflow},
        {inf, messages::kOverflow},
        {nan, messages::kInvalidOperation},
    };
    for (const auto& row : rows) {
        clearFloatingPointErrors();
        EXPECT_EQ(messageOf([&] { storeDouble(row.value); }), row.message) << static_cast<double>(row.value);
        EXPECT_EQ(messageOf(throwOnFloatingPointError), "");
    }

    clearFloatingPointErrors();
    EXPECT_EQ(storeDouble(0.1L), 0.1);
    EXPECT_EQ(storeDouble(static_cast<long double>(DBL_MAX)), DBL_MAX);
    // Beyond the largest double but rounding down to it: no overflow.
    EXPECT_EQ(storeDouble(static_cast<long double>(DBL_MAX) * (1.0L + 0x1p-55L)), DBL_MAX);
    // Too small for a double: zero, silently.
    EXPECT_EQ(storeDouble(0x1p-2000L), 0.0);
    EXPECT_EQ(messageOf(throwOnFloatingPointError), "");
}

} // namespace
} // namespace ravelle
