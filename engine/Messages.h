#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The commands' own refusals and reports.
inline constexpr std::string_view kNoMemoryForCommand = "Not enough memory for this command.";
inline constexpr std::string_view kNoMemoryForCalculation =
    "Not enough memory to calculate the spectrum; try fewer points.";
inline constexpr std::string_view kNoMemoryForObservedFile = "There is not enough memory to import this file.";
inline constexpr std::string_view kNoMemoryForExport = "There is not enough memory to save the spectrum.";
inline constexpr std::string_view kEmptyObservedFile = "The file holds no lines: there is no spectrum to import.";
inline constexpr std::string_view kTooManyObservedLinesFormat =
    "The file has too many lines to import (at most %d).";
inline constexpr std::string_view kNoSimulatedSpectrum =
    "There is no simulated spectrum to save yet: press Calculate first.";
inline constexpr std::string_view kNotARegularFileFormat = "'%s' is not a regular file.";
// What long work says in its progress window, and the window's one button.
inline constexpr std::string_view kCalculating = "Calculating the spectrum";
inline constexpr std::string_view kImportingFormat = "Importing %s";
inline constexpr std::string_view kSavingFormat = "Saving %s";
inline constexpr std::string_view kCancelWork = "Cancel";
// A failure the program did not foresee: the prefix goes before what the
// failure says about itself; one that says nothing is shown as kInternalError.
inline constexpr std::string_view kInternalErrorPrefix = "Internal error: ";
inline constexpr std::string_view kInternalError = "Internal error.";

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
// kTooManyObservedLinesFormat with the most lines an import takes.
std::string tooManyObservedLines(std::int32_t most);
// kImportingFormat and kSavingFormat with the file's whole name.
std::string importing(std::string_view fileName);
std::string saving(std::string_view fileName);
// "'<name>' is not a regular file." with the whole name: the user needs all
// of it to find the file.
std::string notARegularFile(std::string_view name);

// The text the standard error box shows for a message: a "." is appended
// when the last byte sorts after "." (letters, digits, Japanese), not after
// "!", "," or ")".
std::string errorBoxText(std::string_view message);

} // namespace ravelle::messages
