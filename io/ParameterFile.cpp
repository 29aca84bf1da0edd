#include "io/ParameterFile.h"

#include <charconv>
#include <new>

#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/FileAccess.h"

namespace ravelle::parameters {

namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The length of the well-formed UTF-8 sequence at `at` (overlong forms,
// surrogates and values beyond U+10FFFF are not), or 0.
std::size_t utf8SequenceAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    return length;
}

void appendEscaped(std::string& out, char c)
{
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A line's text without its CR and the blanks at either end.
std::string_view lineText(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return trimBlanks(line);
}

// The name of a section line "[name]", trimmed; nothing for another line.
std::optional<std::string_view> sectionNameOf(std::string_view line)
{
    if (line.size() < 3 || line.front() != '[' || line.back() != ']')
        return std::nullopt;
    return trimBlanks(line.substr(1, line.size() - 2));
}

// Takes the file apart line by line, throwing with the file's name and the
// line's number.
class Parser {
public:
    Parser(std::string_view text, const std::string& name) : rest_(text), name_(name)
    {
        if (rest_.starts_with(kByteOrderMark))
            rest_.remove_prefix(kByteOrderMark.size());
    }

    Document parse()
    {
        // Whatever the first line holds, a foreign file is called foreign.
        const auto title = nextLine(false);
        if (!title || *title != "[" + std::string(kTitle) + "]")
            throw UserError(messages::parameterSetNotOne(name_));
        readVersion();
        // A file cut short usually ends inside a line: that is what to say.
        if (!hasEndLine())
            throw UserError(messages::parameterSetCutShort(name_));

        Document document;
        bool ended = false;
        while (const auto line = nextLine()) {
            if (ended)
                fail(messages::kParameterLineAfterEnd);
            if (line->front() == '[') {
                const auto name = sectionNameOf(*line);
                if (!name)
                    fail(messages::parameterNotALine(*line));
                if (*name == kEndSection)
                    ended = true;
                else
                    document.sections.push_back({std::string(*name), lineNumber_, {}});
                continue;
            }
            Entry entry = readEntry(*line);
            if (document.sections.empty())
                fail(messages::kParameterEntryBeforeSection);
            document.sections.back().entries.push_back(std::move(entry));
        }
        return document;
    }

private:
    // The next line that is neither blank nor a comment, trimmed; a line
    // with a control character is refused where `checked`.
    std::optional<std::string_view> nextLine(bool checked = true)
    {
        while (!rest_.empty()) {
            const std::size_t end = rest_.find('\n');
            std::string_view line = rest_.substr(0, end);
            rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
            ++lineNumber_;
            line = lineText(line);
            for (const char c : line)
                if (checked && isControl(c) && c != '\t')
                    fail(messages::kParameterLineControlCharacter);
            if (!line.empty() && line.front() != '#' && line.front() != ';')
                return line;
        }
        return std::nullopt;
    }

    bool hasEndLine() const
    {
        std::string_view rest = rest_;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            if (sectionNameOf(lineText(rest.substr(0, end))) == kEndSection)
                return true;
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
        return false;
    }

    // "version = N" right after the title. A newer version is refused before
    // anything else of the file is judged: its layout may have changed.
    void readVersion()
    {
        const auto line = nextLine();
        if (!line)
            throw UserError(messages::parameterSetCutShort(name_));
        const std::size_t equals = line->find('=');
        if (equals == std::string_view::npos || trimBlanks(line->substr(0, equals)) != "version")
            fail(messages::kParameterNoVersion);
        const std::string_view value = trimBlanks(line->substr(equals + 1));
        int version = 0;
        const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), version);
        const bool whole = stop == value.data() + value.size();
        if (!whole || (error != std::errc() && error != std::errc::result_out_of_range))
            fail(messages::kParameterNoVersion);
        if (error == std::errc::result_out_of_range || version > kVersion)
            throw UserError(messages::parameterSetNewer(name_, value));
        if (version < 1)
            fail(messages::kParameterNoVersion);
    }

    Entry readEntry(std::string_view line) const
    {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || trimBlanks(line.substr(0, equals)).empty())
            fail(messages::parameterNotALine(line));
        auto value = unescapeValue(trimBlanks(line.substr(equals + 1)));
        if (!value)
            fail(messages::kParameterBrokenEscape);
        return {std::string(trimBlanks(line.substr(0, equals))), std::move(*value), lineNumber_};
    }

    [[noreturn]] void fail(std::string_view problem) const
    {
        throw UserError(messages::parameterSetLine(name_, lineNumber_, problem));
    }

    std::string_view rest_;
    const std::string& name_;
    std::size_t lineNumber_ = 0;
};

std::string baseNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string escapeValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t at = 0; at < value.size();) {
        const char c = value[at];
        const auto byte = static_cast<unsigned char>(c);
        // Blanks at either end would be trimmed away when read.
        const bool atEnd = at == 0 || at + 1 == value.size();
        if (c == '\\') {
            out += "\\\\";
        } else if (isControl(c) || (atEnd && isBlank(c))) {
            appendEscaped(out, c);
        } else if (byte >= 0x80) {
            const std::size_t length = utf8SequenceAt(value, at);
            if (length == 0) {
                appendEscaped(out, c);
            } else {
                out.append(value.substr(at, length));
                at += length;
                continue;
            }
        } else {
            out += c;
        }
        ++at;
    }
    return out;
}

std::optional<std::string> unescapeValue(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == '\\') {
            out += '\\';
            ++at;
            continue;
        }
        if (at + 3 >= text.size())
            return std::nullopt;
        const int high = text[at + 1] == 'x' ? hexValue(text[at + 2]) : -1;
        const int low = high < 0 ? -1 : hexValue(text[at + 3]);
        if (low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        at += 3;
    }
    return out;
}

std::string formatDocument(const Document& document)
{
    std::string text = "[" + std::string(kTitle) + "]\r\nversion = " + std::to_string(kVersion) + "\r\n";
    for (const Section& section : document.sections) {
        text += "\r\n[" + section.name + "]\r\n";
        for (const Entry& entry : section.entries)
            text += entry.name + " = " + escapeValue(entry.value) + "\r\n";
    }
    text += "\r\n[" + std::string(kEndSection) + "]\r\n";
    return text;
}

Document parseDocument(std::string_view text, const std::string& name)
{
    return Parser(text, name).parse();
}

Document readParameterFile(const std::string& fileName)
{
    try {
        const FileDescriptor file = openRegularFileForReading(fileName);
        const std::string name = baseNameOf(fileName);
        const std::uint64_t size = fileSizeOf(file);
        if (size > kMaxFileBytes)
            throw UserError(messages::parameterSetTooLarge(name, size, kMaxFileBytes));
        std::string text;
        text.reserve(static_cast<std::size_t>(size));
        char buffer[1 << 16];
        while (const std::size_t got = readSome(file, buffer, sizeof buffer)) {
            text.append(buffer, got);
            // A file that grows while it is read is held to the same limit.
            if (text.size() > kMaxFileBytes)
                throw UserError(messages::parameterSetTooLarge(name, text.size(), kMaxFileBytes));
        }
        return parseDocument(text, name);
    } catch (const std::bad_alloc&) {
        throw UserError(std::string(messages::kNoMemoryForCommand));
    }
}

void writeParameterFile(const std::string& fileName, const Document& document)
{
    FileReplacement file(fileName);
    file.write(formatDocument(document));
    file.commit();
}

} // namespace ravelle::parameters
