#include "io/formats/PartnerFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "engine/UserError.h"
#include "io/FileError.h"
#include "io/formats/TextScan.h"

namespace ravelle::formats {

namespace {

bool isAllUpper(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

std::string withCase(std::string_view text, bool upper)
{
    std::string changed(text);
    for (char& c : changed) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return changed;
}

bool exists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

} // namespace

OpenedFile::OpenedFile(const std::string& path) : name_(baseName(path)), file_(openRegularFileForReading(path))
{
    struct stat status {};
    if (::fstat(file_.get(), &status) != 0)
        throw fileError(errno);
    size_ = static_cast<std::uint64_t>(status.st_size);
}

std::string OpenedFile::readStart(std::size_t count, const std::function<void(double)>& progress)
{
    if (::lseek(file_.get(), 0, SEEK_SET) != 0)
        throw fileError(errno);
    // In pieces, so that a large file reports how far it has got.
    constexpr std::size_t kPiece = std::size_t{4} << 20;
    std::string bytes(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        const std::size_t read = readSome(file_, bytes.data() + got, std::min(kPiece, count - got));
        if (read == 0)
            break;
        got += read;
        if (progress)
            progress(static_cast<double>(got) / static_cast<double>(count));
    }
    bytes.resize(got);
    return bytes;
}

std::string OpenedFile::readAll(std::uint64_t limit, const std::function<void(double)>& progress)
{
    const auto tooLarge = [&](std::uint64_t size) {
        return UserError(inQuotes(name_) + " holds " + countText(size) + " bytes, more than the " + countText(limit)
                         + " a spectrum file may have.");
    };
    if (size_ > limit)
        throw tooLarge(size_);
    // One byte more than the size, to see whether the file has grown.
    std::string bytes = readStart(static_cast<std::size_t>(size_) + 1, progress);
    if (bytes.size() > size_) {
        constexpr std::size_t kChunk = 1 << 20;
        for (;;) {
            if (bytes.size() > limit)
                throw tooLarge(bytes.size());
            const std::size_t before = bytes.size();
            bytes.resize(before + kChunk);
            const std::size_t read = readSome(file_, bytes.data() + before, kChunk);
            bytes.resize(before + read);
            if (read == 0)
                break;
        }
    }
    return bytes;
}

std::string extensionOf(std::string_view path)
{
    const std::string name = baseName(path);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : lowerAscii(std::string_view(name).substr(dot + 1));
}

std::optional<std::string> findPartner(const std::string& path, std::string_view extension)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(directory.size());
    const std::size_t dot = name.find_last_of('.');
    const std::string stem = name.substr(0, dot);
    const bool upper = dot == std::string::npos || isAllUpper(std::string_view(name).substr(dot + 1));

    for (const bool inUpper : {upper, !upper}) {
        const std::string candidate = directory + stem + "." + withCase(extension, inUpper);
        if (candidate != path && exists(candidate))
            return candidate;
    }
    // Mixed case (".Dta"): only a look through the folder finds it.
    std::error_code error;
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator entry(directory.empty() ? "." : directory, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string other = entry->path().filename().string();
        if (other.size() == stem.size() + 1 + extension.size() && other.starts_with(stem)
            && other[stem.size()] == '.' && equalsIgnoringCase(std::string_view(other).substr(stem.size() + 1), extension))
            found.push_back(directory + other);
    }
    if (found.empty())
        return std::nullopt;
    return *std::min_element(found.begin(), found.end());
}

OpenedFile openPartner(const std::string& path)
{
    try {
        return OpenedFile(path);
    } catch (const UserError& error) {
        throw UserError(inQuotes(baseName(path)) + " cannot be read: " + error.message());
    }
}

} // namespace ravelle::formats
