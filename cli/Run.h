#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The three subcommands of ravelle2-cli, apart from the parsing of their
// arguments. Each writes its results to `out` or to files, its messages to
// `err`, and returns the exit status.
namespace ravelle::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFileFailed = 1;   // some file could not be done; the others were
inline constexpr int kExitBadArguments = 2; // nothing was done: bad arguments or parameter set

struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

struct SimulateArguments {
    std::string parameters;
    std::optional<std::int32_t> points;
    std::string output; // empty: standard output
    bool csv = false;
};
int simulate(const SimulateArguments& arguments, const Streams& streams);

struct FitArguments {
    std::string parameters;
    std::optional<std::vector<std::string>> vary; // nothing: what the fit dialog ticks
    std::vector<std::string> files;
    std::string output; // empty: standard output
    unsigned jobs = 1;
    std::string saveFitted; // empty: the fitted sets are not saved
    bool progressBar = false; // a bar on err rather than lines
};
int fit(const FitArguments& arguments, const Streams& streams);

struct ConvertArguments {
    std::vector<std::string> files;
    std::string outputDirectory; // empty: standard output, one file only
};
int convert(const ConvertArguments& arguments, const Streams& streams);

} // namespace ravelle::cli
