#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "cli/FileFit.h"

// How far a series has got, on standard error: a bar redrawn in place on a
// terminal, plain lines otherwise (a log file, a pipe). Failures and the
// import's notices are printed with the file's name either way.
namespace ravelle::cli {

class SeriesReport {
public:
    SeriesReport(std::FILE* stream, bool terminal, std::size_t total);

    void fileEnded(const std::string& name, const FileFit& fit);
    // Ends the bar's line.
    void finish();

private:
    void drawBar();

    std::FILE* stream_;
    bool terminal_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
};

} // namespace ravelle::cli
