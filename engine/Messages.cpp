#include "engine/Messages.h"

namespace ravelle::messages {

namespace {
std::string replaceFirst(std::string_view format, std::string_view placeholder, std::string_view value)
{
    std::string result(format);
    const auto at = result.find(placeholder);
    if (at != std::string::npos)
        result.replace(at, placeholder.size(), value);
    return result;
}
} // namespace

std::string notAReal(std::string_view text) { return replaceFirst(kNotARealFormat, "%s", text); }
std::string notAnInteger(std::string_view text) { return replaceFirst(kNotAnIntegerFormat, "%s", text); }
std::string ioError(int code) { return replaceFirst(kIoErrorFormat, "%d", std::to_string(code)); }

std::string errorBoxText(std::string_view message)
{
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

} // namespace ravelle::messages
