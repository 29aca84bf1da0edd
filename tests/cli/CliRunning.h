#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

// Running the built ravelle2-cli as a user would, in a scratch folder of its
// own, and reading what it wrote.
namespace ravelle::testing {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string fileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

// Single quotes for the shell, with any quote inside spelled out.
inline std::string shellQuoted(const std::string& argument)
{
    std::string quoted = "'";
    for (const char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A fresh folder for one test, removed with it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "ravelle2_cli_" + std::to_string(::getpid()) + "_" + test->test_suite_name() + "_" +
                           test->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    // The window's commands change the working folder to the files they
    // choose; the test's own is put back before the scratch folder goes.
    ~ScratchFolder()
    {
        std::error_code error;
        std::filesystem::current_path(startFolder_, error);
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Runs the program here with the arguments; standard output and error
    // are caught in files beside.
    CliRun run(const std::vector<std::string>& arguments) const
    {
        std::string command = "cd " + shellQuoted(path_.string()) + " && " + shellQuoted(RAVELLE_CLI);
        for (const std::string& argument : arguments) {
            command += ' ';
            command += shellQuoted(argument);
        }
        command += " > ";
        command += shellQuoted((path_ / ".out").string());
        command += " 2> ";
        command += shellQuoted((path_ / ".err").string());
        CliRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = fileText(path_ / ".out");
        run.err = fileText(path_ / ".err");
        std::filesystem::remove(path_ / ".out");
        std::filesystem::remove(path_ / ".err");
        return run;
    }

private:
    std::filesystem::path startFolder_ = std::filesystem::current_path();
    std::filesystem::path path_;
};

inline std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The cells of a CSV line, quotes undone.
inline std::vector<std::string> csvCells(const std::string& line)
{
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            cells.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            cells.emplace_back();
        else
            cells.back() += c;
    }
    return cells;
}

} // namespace ravelle::testing
