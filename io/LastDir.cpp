#include "io/LastDir.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "engine/UserError.h"
#include "io/FileAccess.h"

namespace ravelle {

namespace {
// dirinf holds one path; a first line longer than this is not one of ours.
constexpr std::size_t kLongestLine = 1 << 16;
} // namespace

std::string directoryPart(std::string_view fullName)
{
    const auto last = fullName.rfind('/');
    if (last == std::string_view::npos)
        return {};
    // The separator stays where it is the root or follows another one.
    if (last == 0 || fullName[last - 1] == '/')
        return std::string(fullName.substr(0, last + 1));
    return std::string(fullName.substr(0, last));
}

std::string dirinfPath(const ProgramState& state)
{
    if (!state.StartDir.empty() && state.StartDir.back() == '/')
        return state.StartDir + "dirinf";
    return state.StartDir + "/dirinf";
}

std::string absoluteFileName(std::string_view name)
{
    if (name.empty() || name.front() == '/')
        return std::string(name);
    std::error_code error;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(name), error);
    return error ? std::string(name) : absolute.string();
}

void LoadLastDir(ProgramState& state)
{
    // Without a start-up directory there is no dirinf to look at.
    if (state.StartDir.empty())
        return;
    std::string line;
    try {
        const FileDescriptor file = openRegularFileForReading(dirinfPath(state));
        char buffer[4096];
        for (;;) {
            const std::size_t got = readSome(file, buffer, sizeof buffer);
            if (got == 0)
                break;
            const std::string_view chunk(buffer, got);
            const auto end = chunk.find('\n');
            line.append(chunk.substr(0, end));
            if (end != std::string_view::npos)
                break;
            if (line.size() > kLongestLine)
                return;
        }
    } catch (const UserError&) {
        // Missing or unreadable: the dialog simply starts without the memory.
        return;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    state.LastDir = line;
}

void StoreLastDir(ProgramState& state, const std::string& fileName)
{
    state.LastDir = directoryPart(fileName);
    if (!state.LastDir.empty())
        static_cast<void>(::chdir(state.LastDir.c_str()));
    if (state.StartDir.empty())
        return;
    try {
        FileReplacement dirinf(dirinfPath(state));
        dirinf.write(state.LastDir);
        dirinf.write("\r\n");
        dirinf.commit();
    } catch (const UserError&) {
        // The memory is a convenience: the command that chose the file goes on.
    }
}

} // namespace ravelle
