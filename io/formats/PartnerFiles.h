#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "io/FileAccess.h"

// Opening the chosen file and its partners (.DTA beside .DSC, .spc beside
// .par) through the plain-file checks of the import.
namespace ravelle::formats {

// A regular file opened for reading, with its size.
class OpenedFile {
public:
    // Throws what openRegularFileForReading throws.
    explicit OpenedFile(const std::string& path);

    std::uint64_t size() const { return size_; }
    // Up to `count` bytes from the start. `progress` hears the share read
    // after every few megabytes and may throw to stop the reading.
    std::string readStart(std::size_t count, const std::function<void(double)>& progress = {});
    // The whole file; refused with a message naming it when it is larger
    // than `limit` bytes (also when it grows past that while read).
    std::string readAll(std::uint64_t limit, const std::function<void(double)>& progress = {});

private:
    std::string name_;
    FileDescriptor file_;
    std::uint64_t size_ = 0;
};

// The file beside `path` with the same stem and the extension `extension`
// in any case; the case of the chosen file's extension is preferred
// ("a.DSC" finds "a.DTA" before "a.dta"). Nothing when there is none.
std::optional<std::string> findPartner(const std::string& path, std::string_view extension);

// The extension of a path in lower case, without its dot ("" for none).
std::string extensionOf(std::string_view path);

// Opens a partner file; its file errors are given with its name
// ("'a.DTA' cannot be read: …"), as the user did not choose it.
OpenedFile openPartner(const std::string& path);

} // namespace ravelle::formats
