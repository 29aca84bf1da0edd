#include "engine/model/FourierModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace ravelle::model::detail {

namespace {

constexpr double kPi = std::numbers::pi;
// Past this many frequencies, bins or bytes a layout is not worth trying.
constexpr double kMaxFrequencies = 1e11;
constexpr std::int64_t kMaxSize = std::int64_t{1} << 27;
constexpr double kMaxBytes = 1.5e9;
// The Gaussian part of any line is negligible 12 sigma from its centre
// (exp(-72) of its height); the period keeps that far clear of every image.
constexpr double kGaussianReach = 12.0;

// The smallest 2^a 3^b 5^c 7^d at least n, sizes FFTW transforms fastest.
std::int64_t fftSize(std::int64_t n)
{
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (std::int64_t a = 1; a < 2 * n + 2; a *= 2)
        for (std::int64_t b = a; b < 2 * n + 2; b *= 3)
            for (std::int64_t c = b; c < 2 * n + 2; c *= 5)
                for (std::int64_t d = c; d < 2 * n + 2; d *= 7)
                    if (d >= n && d < best)
                        best = d;
    return best;
}

template <typename Visit>
void forEachComponent(const PreparedModel& model, Visit&& visit)
{
    for (const PreparedSpecies& species : model.species)
        for (const PreparedComponent& component : species.components)
            visit(species, component);
}

// Beyond this frequency f^power exp(-2 pi^2 s^2 f^2 - 2 pi g f) decreases.
double decreasingFrom(const LineWidths& widths, int power)
{
    double from = INFINITY;
    if (widths.gamma > 0.0)
        from = power / (2 * kPi * widths.gamma);
    if (widths.sigma > 0.0)
        from = std::min(from, std::sqrt(power / (4 * kPi * kPi * widths.sigma * widths.sigma)));
    return from;
}

// 2 sum over components of weight x perLine(sigma, gamma): a bound for both
// signs of the frequencies.
template <typename PerLine>
double bothSigns(const PreparedModel& model, PerLine&& perLine)
{
    double total = 0.0;
    forEachComponent(model, [&](const PreparedSpecies&, const PreparedComponent& component) {
        total += 2 * component.weight * perLine(component.widths.sigma, component.widths.gamma);
    });
    return total;
}

} // namespace

double frequencyTail(const PreparedModel& model, double fm, int xOrder)
{
    // 2 integral_fm^inf (2 pi f)^m S(f) df with m = xOrder + 1, S bounded by
    // S(fm) exp(-b (f - fm)), b = 2 pi gamma + 4 pi^2 sigma^2 fm (the Gaussian
    // exponent is convex): 2 (2 pi)^m S(fm) sum_i C(m, i) fm^(m-i) i! / b^(i+1).
    const int m = xOrder + 1;
    return bothSigns(model, [&](double s, double g) {
        const double shape = std::exp(-2 * kPi * kPi * s * s * fm * fm - 2 * kPi * g * fm);
        const double b = 2 * kPi * g + 4 * kPi * kPi * s * s * fm;
        double sum = 0.0;
        double binomial = 1.0;
        double factorial = 1.0;
        double fmPower = 1.0;
        for (int i = 0; i < m; ++i)
            fmPower *= fm;
        double bPower = b;
        for (int i = 0; i <= m; ++i) {
            sum += binomial * fmPower * factorial / bPower;
            binomial = binomial * (m - i) / (i + 1);
            factorial *= i + 1;
            fmPower /= fm;
            bPower *= b;
        }
        double twoPi = 1.0;
        for (int i = 0; i < m; ++i)
            twoPi *= 2 * kPi;
        return twoPi * shape * sum;
    });
}

double derivativeBound(const PreparedModel& model, int order, double period)
{
    // |F^(order)| <= (2 / P) sum_k (2 pi f)^(order+1) S(f), at most the
    // integral plus the largest term; each pure shape bounds the Voigt.
    const int m = order + 1;
    return bothSigns(model, [&](double s, double g) {
        double bound = INFINITY;
        if (g > 0.0)
            bound = std::tgamma(m + 1) / (2 * kPi * std::pow(g, m + 1)) + std::pow(m / g, m) * std::exp(-m) / period;
        if (s > 0.0)
            bound = std::min(bound, std::pow(2 * kPi, m) * std::tgamma(0.5 * (m + 1))
                                        / (2 * std::pow(2 * kPi * kPi * s * s, 0.5 * (m + 1)))
                                        + std::pow(m / (s * s), 0.5 * m) * std::exp(-0.5 * m) / period);
        return bound;
    });
}

FourierPlan planFourier(const PreparedModel& model, const AscendingGrid& grid, double tolerance, int xOrder,
                        std::size_t outputs)
{
    // Everything the expansion must reach: the fields and every line.
    const double gridEnd = grid.start + static_cast<double>(grid.count - 1) * grid.step;
    double low = grid.start;
    double high = gridEnd;
    double widest = 0.0;
    double lorentzWeight = 0.0;
    double largestGamma = 0.0;
    double fromFrequency = 0.0;
    double componentCost = 0.0;
    std::size_t components = 0;
    std::size_t groups = 0;
    forEachComponent(model, [&](const PreparedSpecies& species, const PreparedComponent& component) {
        low = std::min(low, component.centre - species.extent);
        high = std::max(high, component.centre + species.extent);
        widest = std::max(widest, component.widths.sigma);
        if (component.widths.gamma > 0.0) {
            lorentzWeight += component.weight;
            largestGamma = std::max(largestGamma, component.widths.gamma);
        }
        fromFrequency = std::max(fromFrequency, decreasingFrom(component.widths, xOrder + 1));
        ++components;
    });
    for (const PreparedSpecies& species : model.species) {
        for (const PreparedGroup& group : species.groups)
            componentCost += 1.5 * static_cast<double>(group.isotopes.size());
        groups += species.groups.size();
        componentCost += 5.0 * static_cast<double>(species.components.size());
    }
    componentCost += 3.0 * static_cast<double>(outputs);
    const double hull = high - low;
    const double reach = hull + 2 * kGaussianReach * widest;

    // The frequencies: the smallest fm beyond which the tail is small enough.
    const double frequencyTolerance = tolerance / 3;
    double fm = std::max(fromFrequency, 1e-300);
    while (frequencyTail(model, fm, xOrder) > frequencyTolerance && fm < 1e300)
        fm *= 2;
    double below = fm / 2 > fromFrequency ? fm / 2 : fromFrequency;
    for (int i = 0; i < 60 && fm > below * (1 + 1e-3); ++i) {
        const double middle = 0.5 * (below + fm);
        (frequencyTail(model, middle, xOrder) > frequencyTolerance ? below : fm) = middle;
    }

    FourierPlan best;
    for (const double ratio : {0.5, 0.6, 0.7, 0.8, 0.85, 0.9}) {
        const double periodNeeded = std::max({reach / ratio, static_cast<double>(grid.count) * grid.step,
                                              largestGamma / 16, grid.step});
        const double bins = std::ceil(periodNeeded / grid.step);
        FourierPlan plan;
        if (!(bins <= static_cast<double>(kMaxSize)) || (plan.size = fftSize(static_cast<std::int64_t>(bins))) > kMaxSize) {
            best.tooLarge = !best.feasible;
            continue;
        }
        const double period = static_cast<double>(plan.size) * grid.step;
        plan.images.period = period;
        plan.images.reference = 0.5 * (low + high);
        const double imageTolerance = tolerance / 3;
        double imageError = 0.0;
        if (lorentzWeight > 0.0) {
            const double scale = lorentzWeight / (period * period);
            const ImageOrder images = imageOrder(largestGamma / period, reach / period, imageTolerance / scale);
            if (images.order > kMaxImageOrder)
                continue;
            plan.images.order = images.order;
            imageError = scale * images.remainder;
        }
        const double frequencies = std::ceil(fm * period);
        const double bytes = static_cast<double>(outputs) * (24.0 * static_cast<double>(plan.size) + 8.0 * grid.count);
        if (bytes > kMaxBytes)
            best.tooLarge = !best.feasible;
        if (!(frequencies <= kMaxFrequencies) || bytes > kMaxBytes)
            continue;
        plan.frequencies = std::max<std::int64_t>(1, static_cast<std::int64_t>(frequencies));
        plan.predictedError = frequencyTail(model, static_cast<double>(plan.frequencies) / period, xOrder) + imageError;
        // Measured on the benchmarks: the transform, Horner's rule over the
        // points, and the moments (order^2 per group and component).
        const double order = std::max(plan.images.order, 0);
        const double size = static_cast<double>(plan.size);
        const auto outputCount = static_cast<double>(outputs);
        plan.cost = static_cast<double>(plan.frequencies) * componentCost
                    + outputCount * (0.25 * size * std::log2(size + 1) + 0.2 * order * static_cast<double>(grid.count))
                    + 0.5 * order * order
                          * static_cast<double>(components + groups + outputs * (components + 1))
                    + 600.0 * static_cast<double>(components + 2);
        plan.feasible = true;
        if (!best.feasible || plan.cost < best.cost)
            best = plan;
    }
    return best;
}

} // namespace ravelle::model::detail
