#include "engine/FloatingPoint.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

constexpr int kErrorFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

} // namespace

void failWith(std::string_view message)
{
    std::feclearexcept(kErrorFlags);
    throw UserError(std::string(message));
}

void failDivisionByZero(long double numerator)
{
    failWith(numerator == 0.0L ? messages::kInvalidOperation : messages::kDivisionByZero);
}

void clearFloatingPointErrors()
{
    floatingPointFence();
    std::feclearexcept(kErrorFlags);
    floatingPointFence();
}

void throwOnFloatingPointError()
{
    floatingPointFence();
    const int raised = std::fetestexcept(kErrorFlags);
    if (raised == 0)
        return;
    // One operation raises only one of these; should several be pending, the
    // invalid operation is the most telling.
    if (raised & FE_INVALID)
        failWith(messages::kInvalidOperation);
    if (raised & FE_DIVBYZERO)
        failWith(messages::kDivisionByZero);
    failWith(messages::kOverflow);
}

bool floatingPointErrorPending()
{
    floatingPointFence();
    return std::fetestexcept(kErrorFlags) != 0;
}

double storeDouble(long double value)
{
    // Decided on the values rather than the flags, so no reordering by the
    // compiler can lose the failure.
    if (std::isnan(value))
        failWith(messages::kInvalidOperation);
    const double stored = floatingPointBarrier(static_cast<double>(floatingPointBarrier(value)));
    if (std::isinf(stored))
        failWith(messages::kOverflow);
    return stored;
}

} // namespace ravelle
