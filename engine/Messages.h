#pragma once

#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/SynthesisLimits.h"

// Every text the program shows to the user, in one place. The runtime
// messages are the Japanese ones the program has always shown, byte for byte.
namespace ravelle::messages {

// Runtime messages.
inline constexpr std::string_view kNotARealFormat = "'%s' は浮動小数点数ではありません";
inline constexpr std::string_view kNotAnIntegerFormat = "'%s' は整数ではありません";
inline constexpr std::string_view kFileNotFound = "ファイルが見つかりません";
inline constexpr std::string_view kInvalidFileName = "ファイル名の指定が間違っています";
inline constexpr std::string_view kAccessDenied = "ファイルへのアクセスが拒否されました";
inline constexpr std::string_view kIoErrorFormat = "I/O エラー (%d)";
inline constexpr std::string_view kInvalidOperation = "不正な浮動小数点数演算命令";
inline constexpr std::string_view kDivisionByZero = "0 による浮動小数点数除算";
inline constexpr std::string_view kOverflow = "浮動小数点数のオーバーフロー";

// The program's own notices.
inline constexpr std::string_view kMissingParameters = "DispRange, Sigma, N1 (or H1) must be Defined!";
inline constexpr std::string_view kObservedAlsoSaved = "The Observed Data will also be saved!!";

// The synthesis's own refusals; their numbers are the limits themselves.
namespace detail {

// A message put together at compile time from texts and whole numbers.
struct ComposedText {
    char chars[160] = {};
    std::size_t size = 0;

    constexpr void append(std::string_view text)
    {
        for (const char c : text)
            chars[size++] = c;
    }
    constexpr void append(std::integral auto number)
    {
        char digits[24] = {};
        std::size_t count = 0;
        const bool negative = number < 0;
        do {
            const auto digit = number % 10;
            digits[count++] = static_cast<char>('0' + (digit < 0 ? -digit : digit));
            number /= 10;
        } while (number != 0);
        if (negative)
            chars[size++] = '-';
        while (count > 0)
            chars[size++] = digits[--count];
    }
    constexpr std::string_view view() const { return {chars, size}; }
};

template <typename... Pieces>
constexpr ComposedText compose(Pieces... pieces)
{
    ComposedText text;
    (text.append(pieces), ...);
    return text;
}

inline constexpr ComposedText kPointCountOutOfRangeText = compose(
    std::string_view("The number of points (NoPnts) must be between "), kMinCalcPoints, std::string_view(" and "),
    kMaxCalcPoints, std::string_view("."));
inline constexpr ComposedText kTooManyCouplingsText =
    compose(std::string_view("At most "), kMaxHydrogens, std::string_view(" hydrogen and "), kMaxNitrogens,
            std::string_view(" nitrogen coupling constants can take part in a simulation."));

} // namespace detail

inline constexpr std::string_view kPointCountOutOfRange = detail::kPointCountOutOfRangeText.view();
inline constexpr std::string_view kTooManyCouplings = detail::kTooManyCouplingsText.view();
inline constexpr std::string_view kNoMemoryForSimulation = "There is not enough memory for this simulation.";

// A quoted text longer than kLongestQuote bytes is shown as its first
// kQuoteHead and last kQuoteTail bytes (moved to whole characters) with "…"
// between them.
inline constexpr std::size_t kLongestQuote = 100;
inline constexpr std::size_t kQuoteHead = 60;
inline constexpr std::size_t kQuoteTail = 20;

// "'%s' は浮動小数点数ではありません" with the text in place of %s.
std::string notAReal(std::string_view text);
// "'%s' は整数ではありません" with the text in place of %s.
std::string notAnInteger(std::string_view text);
// "I/O エラー (%d)" with the code in place of %d.
std::string ioError(int code);

// The text the standard error box shows for a message: a "." is appended
// when the last byte sorts after "." (letters, digits, Japanese), not after
// "!", "," or ")".
std::string errorBoxText(std::string_view message);

} // namespace ravelle::messages
