#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// Temporary directories and byte-exact file helpers for the file tests.
namespace ravelle::testing {

// A fresh directory under the test's temporary directory, removed with all
// it holds when the test ends.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::string pattern = ::testing::TempDir();
        if (pattern.empty() || pattern.back() != '/')
            pattern += '/';
        pattern += "ravelle-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "cannot create a scratch directory";
        // Canonical, so that comparisons with names built by the program hold.
        path_ = std::filesystem::canonical(pattern).string();
    }
    ~ScratchDirectory()
    {
        std::error_code error;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(path_, error);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::string subdirectory(std::string_view name) const
    {
        const std::string made = file(name);
        std::filesystem::create_directories(made);
        return made;
    }

private:
    std::string path_;
};

// Puts the process's current directory back when a test has moved it.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved_(std::filesystem::current_path()) {}
    ~CurrentDirectoryGuard() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

inline std::string currentDirectory()
{
    return std::filesystem::current_path().string();
}

inline bool fileExists(const std::string& name)
{
    struct stat status {};
    return ::lstat(name.c_str(), &status) == 0;
}

inline std::string readBytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& name, std::string_view bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names in a directory, sorted.
inline std::vector<std::string> entriesOf(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Permission checks do not bite for root.
inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

inline std::string importData(std::string_view name)
{
    return std::string(RAVELLE_TEST_DATA) + "/import/" + std::string(name);
}

} // namespace ravelle::testing
