#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cli/FileFit.h"

// A series of spectrum files fitted in parallel from one parameter set.
namespace ravelle::cli {

struct SeriesRequest {
    FitSettings settings;
    std::vector<std::string> files; // absolute names
    unsigned jobs = 1;              // threads; at most one per file
    std::string saveDirectory;      // where each fitted set goes as NAME.ravelle; empty: nowhere
};

// Hears each file as it ends, in the order they end, one at a time.
using FileEnded = std::function<void(std::size_t index, const FileFit& fit)>;

// One result per file, in the order of the files. Each file has its own
// program state and host; a file that fails has its reason and the others
// go on. A fitted set that cannot be saved makes its file fail.
std::vector<FileFit> fitSeries(const SeriesRequest& request, const FileEnded& ended = {});

// The results as CSV: a header, then one row per file in the order given:
// file, outcome, each varied value with its uncertainty, g and its
// uncertainty, RMS before and after, points, iterations.
std::string seriesCsv(const std::vector<std::string>& files, const std::vector<std::string>& varied,
                      const std::vector<FileFit>& fits);

} // namespace ravelle::cli
