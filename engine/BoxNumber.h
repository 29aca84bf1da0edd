#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// How box texts become numbers and numbers become box texts. Nothing here
// depends on the C library's locale: the decimal separator is a parameter.
namespace ravelle {

// Called once per kTickCharacters characters a parse or scan goes through,
// so that long work on a huge text can report progress and be cancelled; it
// may throw, and nothing is left behind when it does.
using Tick = std::function<void()>;
inline constexpr std::size_t kTickCharacters = std::size_t{1} << 20;

// The first position from `at` on whose character makes `stop` true, or the
// text's size; ticks as it goes.
template <typename Stop>
std::size_t scanForward(std::string_view text, std::size_t at, Stop&& stop, const Tick& tick)
{
    while (at < text.size()) {
        const std::size_t blockEnd = text.size() - at > kTickCharacters ? at + kTickCharacters : text.size();
        for (; at < blockEnd; ++at)
            if (stop(text[at]))
                return at;
        if (tick && at < text.size())
            tick();
    }
    return at;
}

// The last position from `from` on whose character makes `stop` true, or
// npos; searches from the text's end and ticks as it goes.
template <typename Stop>
std::size_t scanBackward(std::string_view text, std::size_t from, Stop&& stop, const Tick& tick)
{
    std::size_t at = text.size();
    while (at > from) {
        const std::size_t blockStart = at - from > kTickCharacters ? at - kTickCharacters : from;
        for (; at > blockStart; --at)
            if (stop(text[at - 1]))
                return at - 1;
        if (tick && at > from)
            tick();
    }
    return std::string_view::npos;
}

// A real: blanks, optional sign, digits with at most one decimal separator
// (a lone separator reads as zero), optional E/e exponent with optional sign
// and digits, blanks, nothing else. Tabs, "inf", "nan", hex and an empty text
// fail. The value is taken in extended precision; a value beyond the range of
// long double fails, one too small for it reads as zero. Any length of text
// is read exactly, ticking on a long one.
std::optional<long double> tryParseBoxReal(std::string_view text, char decimalSeparator, const Tick& tick = {});
// As above; a failure throws UserError "'<text>' は浮動小数点数ではありません".
long double parseBoxReal(std::string_view text, char decimalSeparator);

// A real as the boxes and the observed files take it: with the system's
// decimal separator or with ".", in every locale. The program's own files
// always write "."; neither boxes nor files have thousands separators, so a
// "." never means anything else. A text with both separators is no number.
std::optional<long double> tryParseRealEitherPoint(std::string_view text, char systemSeparator,
                                                  const Tick& tick = {});
// As above; a failure throws UserError "'<text>' は浮動小数点数ではありません".
long double parseRealEitherPoint(std::string_view text, char systemSeparator);

// An integer (NoPnts): optional leading blanks, optional sign, decimal digits
// or hex introduced by "$", "x" or "0x"; nothing after them; 32-bit signed
// range. A failure throws UserError "'<text>' は整数ではありません".
std::int32_t parseBoxInteger(std::string_view text);

// The fixed-point box text: optional "-", at least one digit, the separator,
// exactly `decimals` decimals; rounded to those decimals and to at most 11
// significant digits, an exact half away from zero; no "-0.00"; a value with
// more than 11 integer digits in the general format with 11 significant digits.
std::string formatFixed(double value, int decimals, char decimalSeparator);

// The general format with `significantDigits` (15 for the steppers): rounded
// to that many significant digits, trailing zeros dropped, zero as "0". With e
// such that value = 0.d1d2... x 10^e: fixed notation when -3 <= e <= 15
// (0.0001, 3350.35, 40), otherwise d1[.d2...]E[-]<e-1> (1E-5, 1E15).
std::string formatGeneral(long double value, char decimalSeparator, int significantDigits = 15);

} // namespace ravelle
