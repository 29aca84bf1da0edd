#include "io/ObservedImport.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

#include "engine/BoxNumber.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/BackgroundRelease.h"
#include "io/FileAccess.h"

namespace ravelle {

namespace {

constexpr char kCtrlZ = '\x1A';
// Values from here on round to infinity when stored as a double (half an ulp
// above DBL_MAX; the tie goes to the even infinity).
const long double kFirstBeyondDouble = static_cast<long double>(DBL_MAX) + std::ldexp(1.0L, 970);

bool isTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trim(std::string_view text, const Tick& tick)
{
    const auto kept = [](char c) { return !isTrimmed(c); };
    const std::size_t first = scanForward(text, 0, kept, tick);
    if (first == text.size())
        return {};
    const std::size_t last = scanBackward(text, first, kept, tick);
    return text.substr(first, last - first + 1);
}

// Cuts the bytes of a file into line texts as they arrive in chunks. A UTF-8
// byte-order mark at the very start of the file is no part of its text.
class LineCutter {
public:
    // A line that grows long is given room for the rest of the file at once,
    // so that it is never copied whole again while it grows.
    explicit LineCutter(std::size_t fileSize) : fileSize_(fileSize) {}
    LineCutter(const LineCutter&) = delete;
    LineCutter& operator=(const LineCutter&) = delete;
    // However the reading ends, a huge line does not hold it up.
    ~LineCutter() { releaseInBackground(std::move(text_)); }

    template <typename OnLine>
    void feed(std::string_view bytes, OnLine&& onLine)
    {
        for (const char c : bytes) {
            if (atFileStart_ && takeByteOrderMark(c, onLine))
                continue;
            if (ended_)
                return;
            take(c, onLine);
        }
    }

    // A last line without its line end still counts.
    template <typename OnLine>
    void finish(OnLine&& onLine)
    {
        if (atFileStart_)
            replayByteOrderMark(onLine); // a file of its first bytes only
        if (!ended_ && lineStarted_)
            onLine(std::string_view(text_));
    }

private:
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    // Whether `c` is the next byte of a mark at the file's start; once the
    // mark is whole or broken the start is over, and the bytes of a broken
    // one count as text after all.
    template <typename OnLine>
    bool takeByteOrderMark(char c, OnLine& onLine)
    {
        if (c == kByteOrderMark[markBytes_]) {
            if (++markBytes_ == kByteOrderMark.size())
                atFileStart_ = false;
            return true;
        }
        replayByteOrderMark(onLine);
        return false;
    }

    template <typename OnLine>
    void replayByteOrderMark(OnLine& onLine)
    {
        atFileStart_ = false;
        for (std::size_t i = 0; i < markBytes_; ++i)
            take(kByteOrderMark[i], onLine);
    }

    template <typename OnLine>
    void take(char c, OnLine& onLine)
    {
        if (ended_)
            return;
        if (c == '\n') {
            onLine(std::string_view(text_));
            text_.clear();
            lineStarted_ = false;
            skipping_ = false;
            return;
        }
        if (!lineStarted_ && c == kCtrlZ) {
            ended_ = true;
            return;
        }
        lineStarted_ = true;
        if (skipping_ || c == '\r')
            return;
        if (c == kCtrlZ) {
            skipping_ = true; // the rest of this line is not text
            return;
        }
        if (text_.size() == kLongLine)
            text_.reserve(std::max(fileSize_, 2 * kLongLine));
        text_.push_back(c);
    }

    static constexpr std::size_t kLongLine = std::size_t{1} << 20;
    std::size_t fileSize_;
    std::string text_;
    bool atFileStart_ = true;
    std::size_t markBytes_ = 0;
    bool lineStarted_ = false;
    bool skipping_ = false;
    bool ended_ = false;
};

} // namespace

std::pair<std::string_view, std::string_view> splitObservedLine(std::string_view line, const Tick& tick)
{
    // At the first blank behind the first non-blank.
    const std::size_t firstNonBlank = scanForward(line, 0, [](char c) { return c != ' '; }, tick);
    std::size_t split = scanForward(line, firstNonBlank, [](char c) { return c == ' '; }, tick);
    if (split == line.size())
        split = 0;
    return {trim(line.substr(0, split), tick), trim(line.substr(split), tick)};
}

double convertObservedNumber(std::string_view text, char decimalSeparator, const Tick& tick)
{
    const std::optional<long double> value = tryParseRealEitherPoint(text, decimalSeparator, tick);
    if (!value || std::fabs(*value) >= kFirstBeyondDouble)
        throw UserError(messages::notAReal(text));
    return static_cast<double>(*value);
}

ObservedSpectrum readObservedFile(const std::string& fileName, char decimalSeparator,
                                  const std::function<void(double)>& progress)
{
    try {
        const FileDescriptor file = openRegularFileForReading(fileName);
        const std::size_t size = fileSizeOf(file);
        std::size_t read = 0;
        // Progress is the share of the file read; a huge line reports it
        // again while it is taken apart.
        const Tick report = [&] {
            if (progress)
                progress(size > 0 ? std::min(1.0, static_cast<double>(read) / static_cast<double>(size)) : 1.0);
        };
        // Read once, converting line by line: a file that changes while it
        // is read can never run past the arrays.
        std::vector<double> fields{0.0};
        std::vector<double> intensities{0.0};
        const auto onLine = [&](std::string_view line) {
            if (fields.size() > static_cast<std::size_t>(kMaxObservedPoints))
                throw UserError(messages::tooManyObservedLines(kMaxObservedPoints));
            const auto [fieldText, intensityText] = splitObservedLine(line, report);
            fields.push_back(convertObservedNumber(fieldText, decimalSeparator, report));
            intensities.push_back(convertObservedNumber(intensityText, decimalSeparator, report));
        };
        LineCutter cutter(size);
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const std::size_t got = readSome(file, buffer.data(), buffer.size());
            if (got == 0)
                break;
            read += got;
            cutter.feed(std::string_view(buffer.data(), got), onLine);
            report();
        }
        cutter.finish(onLine);

        ObservedSpectrum spectrum;
        spectrum.count = static_cast<std::int32_t>(fields.size() - 1);
        if (spectrum.count == 0)
            throw UserError(std::string(messages::kEmptyObservedFile));
        fields.resize(fields.size() + 9, 0.0);
        intensities.resize(intensities.size() + 9, 0.0);
        fields.shrink_to_fit();
        intensities.shrink_to_fit();
        spectrum.field = std::move(fields);
        spectrum.intensity = std::move(intensities);
        return spectrum;
    } catch (const std::bad_alloc&) {
        throw UserError(std::string(messages::kNoMemoryForObservedFile));
    }
}

void normaliseObservedSpectrum(ObservedSpectrum& spectrum)
{
    const std::int32_t n = spectrum.count;
    auto& field = spectrum.field;
    auto& intensity = spectrum.intensity;

    if (field[1] < field[n]) {
        spectrum.endLow = field[1];
        spectrum.endHigh = field[n];
    } else {
        spectrum.endLow = field[n];
        spectrum.endHigh = field[1];
    }
    const long double endLow = spectrum.endLow;
    const long double endHigh = spectrum.endHigh;
    spectrum.centerField = storeDouble((endLow + endHigh) / 2);

    double fieldLow = field[1];
    double fieldHigh = field[1];
    double intensityLow = intensity[1];
    double intensityHigh = intensity[1];
    for (std::int32_t i = 1; i <= n; ++i) {
        if (field[i] < fieldLow)
            fieldLow = field[i];
        if (field[i] > fieldHigh)
            fieldHigh = field[i];
        if (intensity[i] < intensityLow)
            intensityLow = intensity[i];
        if (intensity[i] > intensityHigh)
            intensityHigh = intensity[i];
    }

    // A zero span would divide zero by zero at the first point.
    if (intensityHigh == intensityLow || fieldHigh == fieldLow)
        throw UserError(std::string(messages::kInvalidOperation));
    // Equal ends with other fields between them: the plot window would have
    // no width and its first mapping would divide by it.
    if (spectrum.endLow == spectrum.endHigh)
        throw UserError(std::string(messages::kDivisionByZero));

    const long double intensityMiddle = (static_cast<long double>(intensityHigh) + intensityLow) / 2;
    const long double intensitySpan = static_cast<long double>(intensityHigh) - intensityLow;
    const long double fieldRatio = (endHigh - endLow) / (static_cast<long double>(fieldHigh) - fieldLow);
    for (std::int32_t i = 1; i <= n; ++i) {
        intensity[i] = storeDouble(intensity[i] - intensityMiddle);
        intensity[i] = storeDouble(2 * static_cast<long double>(intensity[i]) / intensitySpan);
        field[i] = storeDouble(fieldRatio * (field[i] - static_cast<long double>(fieldLow)) + endLow);
    }
}

ObservedSpectrum importObservedSpectrum(const std::string& fileName, char decimalSeparator,
                                        const std::function<void(double)>& progress)
{
    ObservedSpectrum spectrum = readObservedFile(fileName, decimalSeparator, progress);
    normaliseObservedSpectrum(spectrum);
    return spectrum;
}

} // namespace ravelle
