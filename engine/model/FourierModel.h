#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/model/ImageCorrection.h"
#include "engine/model/Prepared.h"

// The model summed through its Fourier series. The stick spectrum of a
// species transforms into a product over its groups, per position
// sum over isotopes of p [sum_m cos(2 pi f a m)] / (2I + 1), raised to the
// number of nuclei; the line into exp(-2 pi^2 sigma^2 f^2 - 2 pi gamma |f|);
// the derivative multiplies by 2 pi i f, a centre mu by exp(-2 pi i f mu).
// Sampled at f = k / P and folded onto the bins of one inverse FFT of size M
// (P = M h), this gives the periodic sum of every line at every grid point
// (Poisson summation), however many lines; the periodic images are then
// subtracted (ImageCorrection.h).
namespace ravelle::model::detail {

// Fields start + i step, i = 0 ... count - 1, step > 0, count >= 1.
struct AscendingGrid {
    double start = 0.0;
    double step = 0.0;
    std::int64_t count = 0;
};

struct FourierPlan {
    bool feasible = false;
    bool tooLarge = false;        // not feasible for the memory it would take
    std::int64_t size = 0;        // M
    std::int64_t frequencies = 0; // K: k = 1 ... K
    ImageFrame images;            // the period P, the expansion centre and order
    double predictedError = 0.0;  // before rounding
    double cost = 0.0;            // nanoseconds, roughly
};

// The cheapest layout whose error bound is at most `tolerance` for F and its
// x-derivatives up to `xOrder`, for `outputs` sums at once.
FourierPlan planFourier(const PreparedModel& model, const AscendingGrid& grid, double tolerance, int xOrder,
                        std::size_t outputs);

// One sum to form: F (quantity -1) or its derivative with respect to
// quantities[quantity], differentiated xOrder times in x.
struct OutputRequest {
    int quantity = -1;
    int xOrder = 0;
};

struct FourierResult {
    std::vector<std::vector<double>> outputs; // one per request, `count` values each
    double errorBound = 0.0;                  // for the plain F
};

FourierResult evaluateFourier(const PreparedModel& model, const AscendingGrid& grid, const FourierPlan& plan,
                              std::span<const ResolvedQuantity> quantities, std::span<const OutputRequest> requests);

// The frequency tail: a bound on what the k > K terms add to the xOrder-th
// x-derivative of F, for K = fm P.
double frequencyTail(const PreparedModel& model, double fm, int xOrder);

// A bound on |F^(order)| anywhere (order >= 1), from the transforms of the lines.
double derivativeBound(const PreparedModel& model, int order, double period);

} // namespace ravelle::model::detail
