#include "cli/Series.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>

#include "cli/Files.h"
#include "cli/Tables.h"
#include "engine/UserError.h"
#include "io/ParameterFile.h"

namespace ravelle::cli {

namespace {

void saveFitted(FileFit& fit, const std::string& fileName)
{
    try {
        parameters::writeParameterFile(fileName, documentOf(*fit.fitted));
    } catch (const UserError& error) {
        fit.ok = false;
        fit.outcome = "fitted, but not saved: " + error.message();
    } catch (const std::bad_alloc&) {
        fit.ok = false;
        fit.outcome = "fitted, but not saved: not enough memory";
    }
}

} // namespace

std::vector<FileFit> fitSeries(const SeriesRequest& request, const FileEnded& ended)
{
    std::vector<FileFit> fits(request.files.size());
    std::atomic<std::size_t> next{0};
    std::mutex reporting;
    const auto work = [&] {
        for (std::size_t index = next++; index < request.files.size(); index = next++) {
            FileFit fit = fitFile(request.settings, request.files[index]);
            if (fit.ok && !request.saveDirectory.empty())
                saveFitted(fit, outputFileName(request.saveDirectory, request.files[index], ".ravelle"));
            const std::lock_guard lock(reporting);
            fits[index] = std::move(fit);
            if (ended)
                ended(index, fits[index]);
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(request.jobs, 1, std::max<std::size_t>(request.files.size(), 1));
    if (threads == 1) {
        work();
        return fits;
    }
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t)
        pool.emplace_back(work);
    pool.clear(); // joins
    return fits;
}

std::string seriesCsv(const std::vector<std::string>& files, const std::vector<std::string>& varied,
                      const std::vector<FileFit>& fits)
{
    std::string text;
    const auto cell = [&text](std::string_view value) {
        text += ',';
        text += value;
    };
    text += "file,outcome";
    for (const std::string& name : varied) {
        cell(csvCell(name));
        cell(csvCell(name + "_uncertainty"));
    }
    text += ",g,g_uncertainty,rms_before,rms_after,points,iterations\r\n";
    for (std::size_t i = 0; i < fits.size() && i < files.size(); ++i) {
        const FileFit& fit = fits[i];
        text += csvCell(files[i]);
        cell(csvCell(fit.outcome));
        for (std::size_t k = 0; k < varied.size(); ++k) {
            cell(k < fit.values.size() ? fit.values[k].value : std::string());
            cell(k < fit.values.size() ? fit.values[k].uncertainty : std::string());
        }
        for (const std::string* value : {&fit.g, &fit.gUncertainty, &fit.rmsBefore, &fit.rmsAfter, &fit.points,
                                         &fit.iterations})
            cell(*value);
        text += "\r\n";
    }
    return text;
}

} // namespace ravelle::cli
