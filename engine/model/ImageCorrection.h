#pragma once

#include <cstddef>
#include <vector>

#include "engine/model/Prepared.h"

// The periodic images of the lines. A sum over the Fourier series at the
// frequencies k / P is the sum of all lines and of their copies shifted by
// every multiple n P. The Gaussian copies are negligible once P exceeds the
// span of fields and lines by many sigma; the Lorentzian ones fall off only as
// 1/x^3, so they are subtracted: their sum at distance d from a line,
// E(d) = sum_{n != 0} L'(d - n P), is odd and analytic for |d| < P, with Taylor
// coefficients e_k = (2 (k + 1) / pi) sum_{n >= 1} Im (n P - i gamma)^-(k+2)
// (k odd), from L^(j)(u) = Im[(-1)^j j! / (u - i gamma)^(j+1)] / pi. Summed
// over a component's lines, sum_j w_j (x - x_j)^k needs only the moments of its
// stick spectrum convolved with its Gaussian; the moments of independent
// nuclei combine by binomial convolution. Everything is in units of P:
// v = (x - reference) / P, and the images add (1 / P^2) sum_q c_q v^q.
namespace ravelle::model::detail {

struct ImageFrame {
    double period = 0.0;    // P
    double reference = 0.0; // the centre of the expansion
    int order = -1;         // the highest odd k subtracted; -1: none
};

inline constexpr int kMaxImageOrder = 121;

// The lowest order (odd, or -1 for none; above kMaxImageOrder when none
// suffices) for which sum_{k > order} |e_k| P^(k+2) ratio^k, what is left per
// unit weight after subtracting the terms up to that order when every field
// and line lie within ratio P of each other, is at most `tolerance`, for a
// Lorentzian part of width g P (g = gamma / P); and that rest.
struct ImageOrder {
    int order = -1;
    double remainder = 0.0;
};
ImageOrder imageOrder(double g, double ratio, double tolerance);

// A value and its derivative with respect to one quantity.
struct Dual {
    double v = 0.0;
    double d = 0.0;
    Dual() = default;
    Dual(double value, double derivative = 0.0) : v(value), d(derivative) {}
};

// The coefficients c_q of the images' sum for F and of its derivatives. What
// they share is worked out once, on construction.
class ImageCorrector {
public:
    ImageCorrector(const PreparedModel& model, const ImageFrame& frame);
    ~ImageCorrector();
    ImageCorrector(const ImageCorrector&) = delete;
    ImageCorrector& operator=(const ImageCorrector&) = delete;

    std::vector<double> value() const;
    // With respect to one quantity (for Field, the derivative of the
    // polynomial in x).
    std::vector<double> derivative(const ResolvedQuantity& quantity) const;

private:
    struct SpeciesCache;
    std::vector<Dual> correction(const ResolvedQuantity* quantity) const;

    const PreparedModel& model_;
    ImageFrame frame_;
    std::size_t size_ = 1;
    std::vector<SpeciesCache> cache_;
};

} // namespace ravelle::model::detail
