#include "engine/model/ImageCorrection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace ravelle::model::detail {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kMaxMoment = kMaxImageOrder;

inline Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
inline Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.v * b.d + a.d * b.v}; }
inline Dual& operator+=(Dual& a, Dual b) { return a = a + b; }
inline Dual& operator*=(Dual& a, Dual b) { return a = a * b; }
inline bool isZero(double x) { return x == 0.0; }
inline bool isZero(Dual x) { return x.v == 0.0 && x.d == 0.0; }

const std::array<std::array<double, kMaxMoment + 1>, kMaxMoment + 1>& binomials()
{
    static const auto table = [] {
        std::array<std::array<double, kMaxMoment + 1>, kMaxMoment + 1> b{};
        for (int n = 0; n <= kMaxMoment; ++n) {
            b[n][0] = 1.0;
            for (int k = 1; k <= n; ++k)
                b[n][k] = b[n - 1][k - 1] + (k <= n - 1 ? b[n - 1][k] : 0.0);
        }
        return b;
    }();
    return table;
}

// Moments of the sum of two independent variables: E[(Y + Z)^p].
template <typename T>
std::vector<T> convolve(const std::vector<T>& a, const std::vector<T>& b)
{
    const auto& binomial = binomials();
    const std::size_t size = a.size();
    std::vector<T> sum(size);
    for (std::size_t p = 0; p < size; ++p) {
        T total = 0.0;
        for (std::size_t j = 0; j <= p; ++j)
            if (!isZero(a[j]) && !isZero(b[p - j])) // odd moments of symmetric parts vanish
                total += T(binomial[p][j]) * a[j] * b[p - j];
        sum[p] = total;
    }
    return sum;
}

std::vector<double> pointMoments(std::size_t size)
{
    std::vector<double> moments(size, 0.0);
    moments[0] = 1.0;
    return moments;
}

std::vector<double> power(std::vector<double> base, int n)
{
    std::vector<double> result = pointMoments(base.size());
    for (; n > 0; n >>= 1) {
        if (n & 1)
            result = convolve(result, base);
        if (n > 1)
            base = convolve(base, base);
    }
    return result;
}

// The moments of one group's total offset, in units of P.
std::vector<double> groupMoments(const PreparedGroup& group, double period, std::size_t size)
{
    std::vector<double> position(size, 0.0);
    for (const PositionIsotope& isotope : group.isotopes) {
        const double step = group.coupling * isotope.scale / period;
        const int states = isotope.twiceSpin + 1;
        for (int state = 0; state < states; ++state) {
            const double offset = (state - 0.5 * isotope.twiceSpin) * step;
            double term = isotope.probability / states;
            for (std::size_t p = 0; p < size; ++p, term *= offset)
                position[p] += term;
        }
    }
    return power(std::move(position), group.count);
}

template <typename T>
std::vector<T> shiftMoments(T delta, std::size_t size)
{
    std::vector<T> moments(size);
    T term = 1.0;
    for (std::size_t p = 0; p < size; ++p, term *= delta)
        moments[p] = term;
    return moments;
}

// E[t^p] for a Gaussian of standard deviation s: (p - 1)!! s^p for even p.
template <typename T>
std::vector<T> gaussMoments(T s, std::size_t size)
{
    std::vector<T> moments(size, T(0.0));
    const T s2 = s * s;
    T term = 1.0;
    for (std::size_t p = 0; p < size; p += 2) {
        moments[p] = term;
        term *= s2 * T(static_cast<double>(p + 1));
    }
    return moments;
}

// S_m = sum_{n >= 1} (n - i g)^-m for m = 0 ... last: the first terms summed,
// the rest by the Euler-Maclaurin formula from the midpoint N + 1/2:
// sum_{n > N} f(n) = integral_{N+1/2}^inf f - sum_j B_2j(1/2) / (2j)! f^(2j-1)(N + 1/2).
std::vector<std::complex<double>> latticeSums(double g, int last)
{
    using Complex = std::complex<double>;
    std::vector<Complex> sums(static_cast<std::size_t>(last) + 1);
    const int direct = 64 + static_cast<int>(std::min(4.0 * g, 1e5));
    for (int n = 1; n <= direct; ++n) {
        const Complex r = 1.0 / Complex(n, -g);
        Complex term = 1.0;
        for (int m = 0; m <= last; ++m, term *= r)
            sums[static_cast<std::size_t>(m)] += term;
    }
    const Complex r = 1.0 / Complex(direct + 0.5, -g);
    for (int m = 3; m <= last; ++m) {
        // f(t) = (t - i g)^-m; f^(j) = (-1)^j m (m+1) ... (m+j-1) (t - i g)^-(m+j).
        const auto derivative = [&](int j) {
            Complex value = std::pow(r, m + j);
            for (int i = 0; i < j; ++i)
                value *= -static_cast<double>(m + i);
            return value;
        };
        sums[static_cast<std::size_t>(m)] += std::pow(r, m - 1) / static_cast<double>(m - 1)
                                             + derivative(1) / 24.0 - 7.0 * derivative(3) / 5760.0
                                             + 31.0 * derivative(5) / 967680.0;
    }
    return sums;
}

// The Taylor coefficients e_k P^(k+2) (odd k, zero for even k) of the
// Lorentzian images for gamma = g P, as functions of g.
std::vector<Dual> imageKernel(double g, double dg, int order)
{
    std::vector<Dual> e(static_cast<std::size_t>(order) + 1);
    if (order < 1)
        return e;
    const auto sums = latticeSums(g, order + 3);
    for (int k = 1; k <= order; k += 2) {
        const double scale = 2.0 * (k + 1) / kPi;
        e[static_cast<std::size_t>(k)] = Dual(scale * sums[static_cast<std::size_t>(k) + 2].imag(),
                                              scale * (k + 2) * sums[static_cast<std::size_t>(k) + 3].real() * dg);
    }
    return e;
}

// What one component contributes to the coefficients: weight times
// sum_k e_k E[(v - X)^k] expanded in powers of v.
template <typename T>
void addComponent(std::vector<T>& coefficients, T weight, const std::vector<T>& e, const std::vector<T>& moments)
{
    const auto& binomial = binomials();
    const int order = static_cast<int>(coefficients.size()) - 1;
    for (int q = 0; q <= order; ++q) {
        T total = 0.0;
        for (int k = std::max(q, 1) | 1; k <= order; k += 2) {
            const double sign = (k - q) % 2 == 0 ? 1.0 : -1.0;
            total += e[static_cast<std::size_t>(k)] * T(sign * binomial[k][q]) * moments[static_cast<std::size_t>(k - q)];
        }
        coefficients[static_cast<std::size_t>(q)] += weight * total;
    }
}

} // namespace

// What every evaluation of the coefficients shares: per species the moments
// of its groups and their running products from either end, and per component
// the kernel e_k with its derivative per unit change of g.
struct ImageCorrector::SpeciesCache {
    std::vector<std::vector<double>> group;  // each group's moments
    std::vector<std::vector<double>> prefix; // groups before g, convolved
    std::vector<std::vector<double>> suffix; // groups from g on, convolved
    std::vector<std::vector<Dual>> kernels;
};

ImageCorrector::ImageCorrector(const PreparedModel& model, const ImageFrame& frame)
    : model_(model), frame_(frame), size_(static_cast<std::size_t>(std::max(frame.order, 0)) + 1)
{
    cache_.resize(model.species.size());
    if (frame.order < 1)
        return;
    for (const PreparedSpecies& species : model.species) {
        if (!species.usesGamma)
            continue;
        SpeciesCache& cache = cache_[static_cast<std::size_t>(species.index)];
        const std::size_t groups = species.groups.size();
        for (const PreparedGroup& group : species.groups)
            cache.group.push_back(groupMoments(group, frame.period, size_));
        cache.prefix.assign(groups + 1, pointMoments(size_));
        cache.suffix.assign(groups + 1, pointMoments(size_));
        for (std::size_t g = 0; g < groups; ++g)
            cache.prefix[g + 1] = convolve(cache.prefix[g], cache.group[g]);
        for (std::size_t g = groups; g-- > 0;)
            cache.suffix[g] = convolve(cache.suffix[g + 1], cache.group[g]);
        for (const PreparedComponent& component : species.components)
            cache.kernels.push_back(imageKernel(component.widths.gamma / frame.period, 1.0, frame.order));
    }
}

ImageCorrector::~ImageCorrector() = default;

std::vector<Dual> ImageCorrector::correction(const ResolvedQuantity* quantity) const
{
    std::vector<Dual> coefficients(size_);
    if (frame_.order < 1)
        return coefficients;
    const double P = frame_.period;
    for (const PreparedSpecies& species : model_.species) {
        const bool involved = quantity != nullptr && quantity->species == species.index;
        const QuantityKind kind = involved ? quantity->kind : QuantityKind::Field;
        if ((quantity != nullptr && !involved) || !species.usesGamma)
            continue; // Gaussian lines have no images worth subtracting
        const SpeciesCache& cache = cache_[static_cast<std::size_t>(species.index)];
        const int group = kind == QuantityKind::Coupling ? quantity->group : -1;
        // The stick spectrum's moments, and their derivative with respect to
        // one group's coupling a: its offsets scale with a, so
        // d E[X^p] / da = p E[X^p] / a for that group.
        std::vector<Dual> moments(size_);
        for (std::size_t p = 0; p < size_; ++p)
            moments[p].v = cache.prefix.back()[p];
        const double coupling = group >= 0 ? species.groups[static_cast<std::size_t>(group)].coupling : 0.0;
        if (group >= 0 && coupling != 0.0) {
            const auto g = static_cast<std::size_t>(group);
            std::vector<double> slope = cache.group[g];
            for (std::size_t p = 0; p < size_; ++p)
                slope[p] *= static_cast<double>(p) / coupling;
            const std::vector<double> derivative = convolve(convolve(cache.prefix[g], cache.suffix[g + 1]), slope);
            for (std::size_t p = 0; p < size_; ++p)
                moments[p].d = derivative[p];
        }
        for (std::size_t c = 0; c < species.components.size(); ++c) {
            const PreparedComponent& component = species.components[c];
            const double m = component.m;
            const auto seed = [&](QuantityKind a, double da, QuantityKind b, double db, QuantityKind e, double de) {
                return kind == a ? da : kind == b ? db : kind == e ? de : 0.0;
            };
            const double sigmaSeed = species.usesSigma ? 1.0 : 0.0;
            const Dual weight(component.weight, kind == QuantityKind::Weight ? component.probability : 0.0);
            const Dual delta((component.centre - frame_.reference) / P,
                             (kind == QuantityKind::Shift ? 1.0 : 0.0) / P
                                 + (kind == QuantityKind::Coupling && group < 0 ? m / P : 0.0));
            const Dual s(component.widths.sigma / P,
                         sigmaSeed * seed(QuantityKind::Sigma, species.sigmaSign, QuantityKind::SigmaLinear, m,
                                          QuantityKind::SigmaQuadratic, m * m) / P);
            const double dg
                = seed(QuantityKind::Gamma, 1.0, QuantityKind::GammaLinear, m, QuantityKind::GammaQuadratic, m * m) / P;
            std::vector<Dual> e = cache.kernels[c];
            for (Dual& term : e)
                term.d *= dg;
            const std::vector<Dual> distribution
                = convolve(convolve(shiftMoments(delta, size_), moments), gaussMoments(s, size_));
            addComponent(coefficients, weight, e, distribution);
        }
    }
    return coefficients;
}

ImageOrder imageOrder(double g, double ratio, double tolerance)
{
    // |Im (n - i g)^-m| <= min(1, m g / n) n^-m, so
    // |e_k| P^(k+2) <= (2 (k + 1) / pi) min(zeta(k + 2), (k + 2) g zeta(k + 3)),
    // with zeta(s) <= 1 + 2^-s (1 + 2 / (s - 1)). The terms fall at least as
    // ratio^2 per order, so past the last order the rest is a geometric tail.
    const auto zeta = [](int s) { return 1.0 + std::ldexp(1.0 + 2.0 / (s - 1), -s); };
    std::array<double, kMaxImageOrder + 3> term{};
    double power = ratio;
    for (int k = 1; k <= kMaxImageOrder + 2; k += 2, power *= ratio * ratio)
        term[static_cast<std::size_t>(k)] = 2.0 * (k + 1) / kPi * std::min(zeta(k + 2), (k + 2) * g * zeta(k + 3)) * power;
    const double last = term[kMaxImageOrder + 2];
    double remainder = ratio < 1.0 ? last * (kMaxImageOrder + 4) / (kMaxImageOrder + 3) / (1.0 - ratio * ratio) : INFINITY;
    ImageOrder chosen{kMaxImageOrder + 2, remainder};
    for (int k = kMaxImageOrder; k >= -1; k -= 2) {
        // remainder: the terms past order k.
        if (remainder <= tolerance)
            chosen = ImageOrder{k, remainder};
        if (k >= 1)
            remainder += term[static_cast<std::size_t>(k)];
    }
    return chosen;
}

std::vector<double> ImageCorrector::value() const
{
    const std::vector<Dual> coefficients = correction(nullptr);
    std::vector<double> values(coefficients.size());
    std::transform(coefficients.begin(), coefficients.end(), values.begin(), [](Dual c) { return c.v; });
    return values;
}

std::vector<double> ImageCorrector::derivative(const ResolvedQuantity& quantity) const
{
    if (quantity.kind == QuantityKind::Field) {
        // d/dx of (1 / P^2) sum c_q v^q is (1 / P^2) sum (q + 1) c_(q+1) / P v^q.
        const std::vector<double> values = value();
        std::vector<double> slope(values.size(), 0.0);
        for (std::size_t q = 0; q + 1 < values.size(); ++q)
            slope[q] = static_cast<double>(q + 1) * values[q + 1] / frame_.period;
        return slope;
    }
    const std::vector<Dual> coefficients = correction(&quantity);
    std::vector<double> derivatives(coefficients.size());
    std::transform(coefficients.begin(), coefficients.end(), derivatives.begin(), [](Dual c) { return c.d; });
    return derivatives;
}

} // namespace ravelle::model::detail
