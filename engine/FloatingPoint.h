#pragma once

#include <cfenv>
#include <string_view>

// The floating-point error rules: invalid operation, division by zero and
// overflow end a command with their runtime message; underflow and inexact
// results are silent; no infinity or NaN is ever stored. Detection reads the
// status flags; no signal handlers are involved.
namespace ravelle {

// Clears the invalid, division-by-zero and overflow flags.
void clearFloatingPointErrors();

// Throws UserError with the message for a raised flag, then clears it:
// "不正な浮動小数点数演算命令" (invalid), "0 による浮動小数点数除算" (division by zero),
// "浮動小数点数のオーバーフロー" (overflow). Call it right after each operation
// that can fail, so the first failure is the one reported.
void throwOnFloatingPointError();

// Whether an invalid, division-by-zero or overflow flag is raised; clears
// nothing. For loops that test once per batch and then find the first
// failure by repeating the batch with a check after each operation.
bool floatingPointErrorPending();

// Throws UserError with `message`, clearing the error flags first so that a
// later command does not find this failure's flags still raised.
[[noreturn]] void failWith(std::string_view message);

// Throws the error a division of `numerator` by zero raises, decided on the
// value: invalid operation for 0 / 0, division by zero otherwise.
[[noreturn]] void failDivisionByZero(long double numerator);

// Rounds an extended-precision value to a double as a store does: a value
// beyond the double range raises the overflow error, NaN the invalid one.
double storeDouble(long double value);

// Forces `value` to be computed here: the arithmetic that produced it cannot
// move past this point, and whatever uses the result cannot move before it,
// so a flag test that follows sees the flags of that arithmetic.
template <typename T>
inline T floatingPointBarrier(T value)
{
    asm volatile("" : "+m"(value) : : "memory");
    return value;
}

// Orders the status-flag accesses against the surrounding arithmetic.
inline void floatingPointFence()
{
    asm volatile("" : : : "memory");
}

// The result of one operation, computed here and checked at once: throws
// the error that operation raised. For code that must name the first
// failure of a fixed sequence of operations.
template <typename T>
inline T checkedResult(T value)
{
    value = floatingPointBarrier(value);
    throwOnFloatingPointError();
    return value;
}

// Keeps the status flags as they were for its lifetime: for code that
// detects failures from values, whose own arithmetic (an FFT planner, a
// division by a zero step while sizing) must not look like a failure to a
// later flag test.
class StatusFlagsKept {
public:
    StatusFlagsKept() { std::fegetexceptflag(&saved_, FE_ALL_EXCEPT); }
    ~StatusFlagsKept() { std::fesetexceptflag(&saved_, FE_ALL_EXCEPT); }
    StatusFlagsKept(const StatusFlagsKept&) = delete;
    StatusFlagsKept& operator=(const StatusFlagsKept&) = delete;

private:
    std::fexcept_t saved_{};
};

} // namespace ravelle
