#include "cli/SeriesReport.h"

namespace ravelle::cli {

namespace {
constexpr std::size_t kBarWidth = 30;
// Carriage return and "erase to the end of the line".
constexpr const char* kClearLine = "\r\x1b[K";
} // namespace

SeriesReport::SeriesReport(std::FILE* stream, bool terminal, std::size_t total)
    : stream_(stream), terminal_(terminal), total_(total)
{
    if (terminal_)
        drawBar();
}

void SeriesReport::fileEnded(const std::string& name, const FileFit& fit)
{
    ++done_;
    if (!fit.ok)
        ++failed_;
    if (terminal_)
        std::fputs(kClearLine, stream_);
    for (const std::string& notice : fit.notices)
        std::fprintf(stream_, "%s: %s\n", name.c_str(), notice.c_str());
    if (terminal_) {
        if (!fit.ok)
            std::fprintf(stream_, "%s: %s\n", name.c_str(), fit.outcome.c_str());
        drawBar();
    } else {
        std::fprintf(stream_, "[%zu/%zu] %s: %s\n", done_, total_, name.c_str(), fit.outcome.c_str());
    }
    std::fflush(stream_);
}

void SeriesReport::finish()
{
    if (terminal_)
        std::fputs("\n", stream_);
    std::fflush(stream_);
}

void SeriesReport::drawBar()
{
    const std::size_t filled = total_ == 0 ? kBarWidth : done_ * kBarWidth / total_;
    std::string bar(filled, '#');
    bar.append(kBarWidth - filled, '.');
    std::fprintf(stream_, "\rFitting [%s] %zu/%zu", bar.c_str(), done_, total_);
    if (failed_ > 0)
        std::fprintf(stream_, ", %zu failed", failed_);
    std::fflush(stream_);
}

} // namespace ravelle::cli
