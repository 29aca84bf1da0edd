#include "engine/fit/Trace.h"

#include <algorithm>
#include <memory>

namespace ravelle::fit {

std::vector<std::size_t> tracePoints(std::span<const double> data, std::size_t most)
{
    const std::size_t n = data.size();
    std::vector<std::size_t> chosen;
    if (n <= most) {
        chosen.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            chosen[i] = i;
        return chosen;
    }
    const std::size_t stretches = std::max<std::size_t>(most / 2, 1);
    for (std::size_t k = 0; k < stretches; ++k) {
        const std::size_t begin = n * k / stretches;
        const std::size_t end = n * (k + 1) / stretches;
        if (begin == end)
            continue;
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(begin);
        const auto last = data.begin() + static_cast<std::ptrdiff_t>(end);
        const auto [low, high] = std::minmax_element(first, last);
        const auto a = static_cast<std::size_t>(low - data.begin());
        const auto b = static_cast<std::size_t>(high - data.begin());
        chosen.push_back(std::min(a, b));
        if (a != b)
            chosen.push_back(std::max(a, b));
    }
    return chosen;
}

bool traceOf(Curve& curve, const Pass& pass, const Samples& points, const ModelValues& values,
             const std::atomic<bool>& cancel, FitTrace& trace)
{
    const std::vector<std::size_t> chosen = tracePoints(points.data());
    trace = {};
    for (const std::size_t i : chosen) {
        trace.field.push_back(points.field()[i]);
        trace.observed.push_back(points.data()[i]);
    }
    Pass shown = pass;
    shown.samples = std::make_shared<const Samples>(trace.field, trace.observed);
    PassRows rows(curve, shown, cancel);
    trace.fitted.resize(trace.field.size());
    if (!rows.at(values, false) || !rows.rows(0, shown.size(), trace.fitted.data(), nullptr))
        return false;
    for (std::size_t i = 0; i < trace.fitted.size(); ++i)
        trace.fitted[i] += trace.observed[i];
    return true;
}

} // namespace ravelle::fit
