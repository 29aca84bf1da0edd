#include "engine/model/InverseTransform.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <new>

#include "engine/FftwPlanner.h"

namespace ravelle::model::detail {

namespace {

template <typename T>
FftwBuffer<T> fftwBuffer(std::size_t count)
{
    auto* memory = static_cast<T*>(fftw_malloc(sizeof(T) * std::max<std::size_t>(count, 1)));
    if (memory == nullptr)
        throw std::bad_alloc();
    return FftwBuffer<T>(memory);
}

constexpr std::size_t kKeptBytes = std::size_t{32} << 20;

Workspace& workspace()
{
    thread_local Workspace kept;
    return kept;
}

} // namespace

Workspace& preparedWorkspace(std::size_t count, std::size_t size, std::size_t values)
{
    Workspace& w = workspace();
    while (w.bins.size() < count) {
        w.bins.push_back(nullptr);
        w.binSizes.push_back(0);
    }
    for (std::size_t o = 0; o < count; ++o) {
        if (w.binSizes[o] < size) {
            w.bins[o].reset();
            w.bins[o] = fftwBuffer<fftw_complex>(size);
            w.binSizes[o] = size;
        }
        std::fill_n(reinterpret_cast<double*>(w.bins[o].get()), 2 * size, 0.0);
    }
    if (w.valueSize < values) {
        w.values.reset();
        w.values = fftwBuffer<double>(values);
        w.valueSize = values;
    }
    return w;
}

void releaseLargeWorkspace(Workspace& w)
{
    std::size_t bytes = w.valueSize * sizeof(double);
    for (const std::size_t size : w.binSizes)
        bytes += size * sizeof(fftw_complex);
    if (bytes > kKeptBytes)
        w = Workspace{};
}

// Plans by size, made once under the program's one planner lock; executing
// a plan on new arrays of the same alignment needs none.
fftw_plan inversePlan(std::int64_t size)
{
    static std::map<std::int64_t, fftw_plan> plans;
    const std::lock_guard lock(fftwPlannerMutex());
    auto& plan = plans[size];
    if (plan == nullptr) {
        auto in = fftwBuffer<fftw_complex>(static_cast<std::size_t>(size / 2 + 1));
        auto out = fftwBuffer<double>(static_cast<std::size_t>(size));
        plan = fftw_plan_dft_c2r_1d(static_cast<int>(size), in.get(), out.get(), FFTW_ESTIMATE);
        if (plan == nullptr)
            throw std::bad_alloc();
    }
    return plan;
}

} // namespace ravelle::model::detail
