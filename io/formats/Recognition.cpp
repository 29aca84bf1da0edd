#include "io/formats/Recognition.h"

#include <algorithm>

#include "engine/BoxNumber.h"
#include "io/ObservedImport.h"
#include "io/formats/Bes3t.h"
#include "io/formats/EspWinEpr.h"
#include "io/formats/LabelledTable.h"

namespace ravelle::formats {

namespace {

bool isBinary(std::string_view start)
{
    return std::any_of(start.begin(), start.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\x1A';
    });
}

bool isPlainNumber(std::string_view text)
{
    return tryParseBoxReal(text, '.') || tryParseBoxReal(text, ',');
}

} // namespace

bool isUtf16Text(std::string_view start)
{
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF"))
        return true;
    const std::size_t size = std::min<std::size_t>(start.size(), 1024) & ~std::size_t{1};
    if (size < 4)
        return false;
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i < size; ++i)
        if (start[i] == '\0')
            ++zeros[i % 2];
    const std::size_t half = size / 2;
    return (zeros[0] * 10 >= half * 4 && zeros[1] * 20 < half) || (zeros[1] * 10 >= half * 4 && zeros[0] * 20 < half);
}

bool isPlainTwoColumnText(std::string_view start, bool complete)
{
    // Lines as the plain import cuts them: at LF, without their CRs; a
    // Ctrl-Z at a line start ends the file, inside a line its text.
    bool anyLine = false;
    std::size_t at = 0;
    while (at < start.size()) {
        if (start[at] == '\x1A')
            return anyLine;
        const std::size_t end = start.find('\n', at);
        if (end == std::string_view::npos && !complete)
            return anyLine; // the cut-off end of the start
        std::string line;
        for (const char c : start.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at)) {
            if (c == '\x1A')
                break;
            if (c != '\r')
                line.push_back(c);
        }
        const auto [field, intensity] = splitObservedLine(line);
        if (!isPlainNumber(field) || !isPlainNumber(intensity))
            return false;
        anyLine = true;
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return anyLine;
}

Content recogniseContent(std::string_view start, bool complete)
{
    if (start.empty())
        return Content::other;
    if (isUtf16Text(start))
        return Content::utf16Text;
    if (isBes3tDescriptor(start))
        return Content::bes3tDescriptor;
    if (isBinary(start))
        return Content::binary;
    if (isPlainTwoColumnText(start, complete))
        return Content::other;
    if (looksLikeEspParameters(start))
        return Content::espParameters;
    if (looksLikeLabelledTable(start, complete))
        return Content::labelledTable;
    return Content::other;
}

} // namespace ravelle::formats
