#pragma once

#include <fftw3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The inverse real FFTs the Fourier sum ends with: plans made once per size,
// and per thread the buffers of the last evaluation, kept for the next one (a
// fit evaluates the same layout again and again) while they are small: fresh
// pages from the system cost more than the transform.
namespace ravelle::model::detail {

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
template <typename T>
using FftwBuffer = std::unique_ptr<T[], FftwFree>;

struct Workspace {
    std::vector<FftwBuffer<fftw_complex>> bins;
    std::vector<std::size_t> binSizes;
    FftwBuffer<double> values;
    std::size_t valueSize = 0;
};

// This thread's workspace with `count` zeroed bin arrays of `size` entries
// and a value array of `values` entries.
Workspace& preparedWorkspace(std::size_t count, std::size_t size, std::size_t values);

// Lets the workspace go when it has grown large.
void releaseLargeWorkspace(Workspace& workspace);

// The plan of the inverse real transform of `size` points, for arrays from
// the workspace (fftw_malloc alignment). Thread safe.
fftw_plan inversePlan(std::int64_t size);

} // namespace ravelle::model::detail
