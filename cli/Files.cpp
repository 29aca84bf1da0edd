#include "cli/Files.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "engine/UserError.h"
#include "io/LastDir.h"
#include "io/ParameterFile.h"
#include "io/SpectrumExport.h"
#include "io/formats/TextScan.h"

namespace ravelle::cli {

namespace fs = std::filesystem;

namespace {

// One name for one file, wherever it is named from: symbolic links and
// "." or ".." resolved as far as the path exists.
std::string sameFileKey(const std::string& name)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(name, error), error);
    return error ? absoluteFileName(name) : resolved.string();
}

} // namespace

ParameterSet readParameterSet(const std::string& fileName)
{
    return parameterSetOf(parameters::readParameterFile(absoluteFileName(fileName)), formats::baseName(fileName));
}

std::string outputFileName(const std::string& directory, const std::string& input, std::string_view extension)
{
    std::string base = suggestedBaseName(formats::baseName(input));
    if (base.empty())
        base = "spectrum";
    std::string name = directory;
    if (!name.empty() && name.back() != '/')
        name += '/';
    return name + base + std::string(extension);
}

void checkOutputsApart(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
{
    std::map<std::string, std::string> read;
    for (const std::string& input : inputs)
        read.emplace(sameFileKey(input), input);
    std::map<std::string, std::string> written;
    for (const std::string& output : outputs) {
        const std::string key = sameFileKey(output);
        if (const auto found = read.find(key); found != read.end())
            throw UserError("'" + output + "' would replace the input file '" + found->second +
                            "': write to another name or folder.");
        if (const auto [found, added] = written.emplace(key, output); !added)
            throw UserError("Two input files would both be written to '" + output +
                            "': give files with different names, or run them separately.");
    }
}

void checkInputFile(const std::string& fileName)
{
    std::error_code error;
    const fs::file_status status = fs::status(fileName, error);
    if (status.type() == fs::file_type::not_found)
        throw UserError("No such file.");
    if (status.type() == fs::file_type::directory)
        throw UserError("This is a folder, not a file.");
}

void checkDirectory(const std::string& directory)
{
    std::error_code error;
    if (!fs::is_directory(directory, error))
        throw UserError("'" + directory + "' is not a folder: create it first.");
}

} // namespace ravelle::cli
